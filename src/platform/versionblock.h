#pragma once
// The layout of a program's version block and a builder for it.
//
// A version block is laid out like a Windows VS_VERSIONINFO resource: a tree
// of nodes, each
//
//   uint16 wLength       bytes of the node with its children, without the
//                        padding that follows the node
//   uint16 wValueLength  text value: UTF-16 units with the final zero;
//                        binary value: bytes
//   uint16 wType         1 text, 0 binary
//   char16 szKey[]       UTF-16LE, zero-terminated
//   padding to 4 bytes
//   value
//   padding to 4 bytes
//   children
//
// The root "VS_VERSION_INFO" holds the fixed part (VS_FIXEDFILEINFO, 52
// bytes) and has two children: "StringFileInfo" with one string table named
// after the translation ("041203B5") that holds the string values, and
// "VarFileInfo" whose "Translation" value lists (language, code page) pairs.
//
// The builder is constexpr, so that the build can place a finished block in
// a dedicated section of a program (see cmake/VersionResource.cmake); the
// reader (versioninfo.h) finds the block there again.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace fm::ver {

// Name of the ELF section that carries the block.
inline constexpr const char *kSectionName = ".fmversion";

inline constexpr uint32_t kFixedSignature = 0xFEEF04BDu;
inline constexpr size_t kFixedInfoSize = 52;
inline constexpr size_t kNodeHeaderSize = 6;

struct StringEntry {
    const char *key;   // UTF-8
    const char *value; // UTF-8; empty: the field is present but empty
};

struct Spec {
    uint16_t language = 0;
    uint16_t codePage = 0;
    uint16_t fileVersion[4] = {};    // fixed part: a.b.c.d
    uint16_t productVersion[4] = {}; // fixed part: a.b.c.d
    const StringEntry *strings = nullptr;
    size_t stringCount = 0;
};

namespace detail {

constexpr size_t align4(size_t n) { return (n + 3) & ~size_t(3); }

constexpr size_t cstrlen(const char *s)
{
    size_t n = 0;
    while (s && s[n]) ++n;
    return n;
}

// Decodes UTF-8 into UTF-16 units, calling out(unit) for each; malformed
// sequences become U+FFFD.
template <class Out>
constexpr void utf8to16(const char *s, Out &&out)
{
    const size_t n = cstrlen(s);
    size_t i = 0;
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (b0 < 0x80) {
            cp = b0;
        } else if ((b0 & 0xE0) == 0xC0) {
            len = 2;
        } else if ((b0 & 0xF0) == 0xE0) {
            len = 3;
        } else if ((b0 & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            bool ok = i + len <= n;
            uint32_t v = b0 & (0x7Fu >> len);
            for (size_t k = 1; ok && k < len; ++k) {
                const auto b = static_cast<unsigned char>(s[i + k]);
                if ((b & 0xC0) != 0x80) ok = false;
                v = (v << 6) | (b & 0x3F);
            }
            if (ok) {
                cp = v;
            } else {
                len = 1;
            }
        }
        i += len;
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            out(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out(u'\xFFFD');
        } else {
            out(static_cast<char16_t>(cp));
        }
    }
}

constexpr size_t utf16len(const char *s)
{
    size_t n = 0;
    utf8to16(s, [&](char16_t) { ++n; });
    return n;
}

// Writes (or, without a buffer, only counts) the bytes of a block.
class Writer {
public:
    constexpr explicit Writer(unsigned char *out = nullptr, size_t cap = 0) : out_(out), cap_(cap) {}
    constexpr size_t pos() const { return pos_; }
    constexpr void u8(unsigned v)
    {
        if (out_ && pos_ < cap_) out_[pos_] = static_cast<unsigned char>(v);
        ++pos_;
    }
    constexpr void u16(unsigned v)
    {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    constexpr void u32(uint32_t v)
    {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    constexpr void pad()
    {
        while (pos_ % 4) u8(0);
    }
    constexpr void text(const char *s)
    {
        utf8to16(s, [&](char16_t c) { u16(c); });
        u16(0);
    }
    constexpr void patch16(size_t at, unsigned v)
    {
        if (out_ && at + 1 < cap_) {
            out_[at] = static_cast<unsigned char>(v & 0xFF);
            out_[at + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
        }
    }

private:
    unsigned char *out_;
    size_t cap_;
    size_t pos_ = 0;
};

// Starts a node; returns where its length goes.
constexpr size_t beginNode(Writer &w, unsigned valueLength, unsigned type, const char *key)
{
    const size_t start = w.pos();
    w.u16(0);
    w.u16(valueLength);
    w.u16(type);
    w.text(key);
    w.pad();
    return start;
}

constexpr void endNode(Writer &w, size_t start) { w.patch16(start, unsigned(w.pos() - start)); }

constexpr char hexDigit(unsigned v) { return "0123456789ABCDEF"[v & 0xF]; }

constexpr void build(Writer &w, const Spec &s)
{
    const size_t root = beginNode(w, unsigned(kFixedInfoSize), 0, "VS_VERSION_INFO");
    w.u32(kFixedSignature);
    w.u32(0x00010000u); // structure version 1.0
    w.u32((uint32_t(s.fileVersion[0]) << 16) | s.fileVersion[1]);
    w.u32((uint32_t(s.fileVersion[2]) << 16) | s.fileVersion[3]);
    w.u32((uint32_t(s.productVersion[0]) << 16) | s.productVersion[1]);
    w.u32((uint32_t(s.productVersion[2]) << 16) | s.productVersion[3]);
    w.u32(0x3Fu);     // flags mask
    w.u32(0);         // flags
    w.u32(0x00040004u); // operating system: 32-bit Windows NT
    w.u32(1);         // file type: application
    w.u32(0);         // subtype
    w.u32(0);         // date, high
    w.u32(0);         // date, low
    w.pad();

    const size_t sfi = beginNode(w, 0, 1, "StringFileInfo");
    char table[9] = {hexDigit(s.language >> 12), hexDigit(s.language >> 8),
                     hexDigit(s.language >> 4),  hexDigit(s.language),
                     hexDigit(s.codePage >> 12), hexDigit(s.codePage >> 8),
                     hexDigit(s.codePage >> 4),  hexDigit(s.codePage), 0};
    const size_t st = beginNode(w, 0, 1, table);
    for (size_t i = 0; i < s.stringCount; ++i) {
        const StringEntry &e = s.strings[i];
        const size_t units = utf16len(e.value) + 1;
        const size_t str = beginNode(w, unsigned(units), 1, e.key);
        w.text(e.value);
        endNode(w, str);
        w.pad();
    }
    endNode(w, st);
    endNode(w, sfi);

    const size_t vfi = beginNode(w, 0, 1, "VarFileInfo");
    const size_t var = beginNode(w, 4, 0, "Translation");
    w.u16(s.language);
    w.u16(s.codePage);
    endNode(w, var);
    endNode(w, vfi);
    endNode(w, root);
}

} // namespace detail

// Bytes of the block for a spec (the root's wLength rounded up to 4).
constexpr size_t BlockSize(const Spec &s)
{
    detail::Writer w;
    detail::build(w, s);
    return detail::align4(w.pos());
}

template <size_t N>
constexpr std::array<unsigned char, N> BuildBlock(const Spec &s)
{
    std::array<unsigned char, N> out{};
    detail::Writer w(out.data(), N);
    detail::build(w, s);
    return out;
}

// The same at run time (for tools and tests).
inline std::vector<unsigned char> BuildBlockVector(const Spec &s)
{
    std::vector<unsigned char> out(BlockSize(s));
    detail::Writer w(out.data(), out.size());
    detail::build(w, s);
    return out;
}

} // namespace fm::ver
