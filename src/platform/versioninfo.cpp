#include "platform/versioninfo.h"

#include "common/codec.h"
#include "platform/versionblock.h"

#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fm {
namespace {

using Bytes = std::vector<unsigned char>;

// A version block never exceeds what a 16-bit length can describe.
constexpr uint64_t kMaxBlock = 0x10000;
// Section header tables beyond this size are not believed.
constexpr uint64_t kMaxHeaderTable = 16u << 20;
// Real trees are four levels deep.
constexpr int kMaxDepth = 8;

constexpr size_t align4(size_t n) { return (n + 3) & ~size_t(3); }

// A regular file opened for reading, with its size.
class InFile {
public:
    explicit InFile(const std::string &path)
    {
        // O_NONBLOCK: opening a FIFO must not wait for a writer.
        fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return;
        struct stat st{};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        size_ = static_cast<uint64_t>(st.st_size);
    }
    ~InFile()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    InFile(const InFile &) = delete;
    InFile &operator=(const InFile &) = delete;

    bool ok() const { return fd_ >= 0; }
    uint64_t size() const { return size_; }

    // Reads exactly n bytes at offset; false when they are not all in the file.
    bool readAt(uint64_t offset, uint64_t n, unsigned char *out) const
    {
        if (offset > size_ || n > size_ - offset) return false;
        uint64_t done = 0;
        while (done < n) {
            const ssize_t r = ::pread(fd_, out + done, size_t(n - done), off_t(offset + done));
            if (r <= 0) return false;
            done += uint64_t(r);
        }
        return true;
    }

private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

class Endian {
public:
    explicit Endian(bool big) : big_(big) {}
    uint64_t get(const unsigned char *p, int n) const
    {
        uint64_t v = 0;
        for (int i = 0; i < n; ++i) {
            const int at = big_ ? i : n - 1 - i;
            v = (v << 8) | p[at];
        }
        return v;
    }

private:
    bool big_;
};

// The contents of the ELF section that carries the version block, at most
// kMaxBlock + 4 bytes of it; nothing when the file has no such section.
std::optional<Bytes> ReadVersionSection(const std::string &path)
{
    InFile f(path);
    if (!f.ok()) return std::nullopt;

    unsigned char ident[16];
    if (!f.readAt(0, sizeof ident, ident)) return std::nullopt;
    if (ident[0] != 0x7F || ident[1] != 'E' || ident[2] != 'L' || ident[3] != 'F')
        return std::nullopt;
    const bool is64 = ident[4] == 2;
    if (ident[4] != 1 && ident[4] != 2) return std::nullopt;
    if (ident[5] != 1 && ident[5] != 2) return std::nullopt;
    const Endian e(ident[5] == 2);

    const size_t ehSize = is64 ? 64 : 52;
    unsigned char eh[64];
    if (!f.readAt(0, ehSize, eh)) return std::nullopt;
    const uint64_t shoff = is64 ? e.get(eh + 0x28, 8) : e.get(eh + 0x20, 4);
    const uint64_t shentsize = e.get(eh + (is64 ? 0x3A : 0x2E), 2);
    uint64_t shnum = e.get(eh + (is64 ? 0x3C : 0x30), 2);
    uint64_t shstrndx = e.get(eh + (is64 ? 0x3E : 0x32), 2);

    const uint64_t minEnt = is64 ? 64 : 40;
    if (shoff == 0 || shentsize < minEnt) return std::nullopt;

    struct Section {
        uint64_t name, type, offset, size, link;
    };
    auto readSection = [&](const unsigned char *p) {
        Section s{};
        s.name = e.get(p, 4);
        s.type = e.get(p + 4, 4);
        if (is64) {
            s.offset = e.get(p + 24, 8);
            s.size = e.get(p + 32, 8);
            s.link = e.get(p + 40, 4);
        } else {
            s.offset = e.get(p + 16, 4);
            s.size = e.get(p + 20, 4);
            s.link = e.get(p + 24, 4);
        }
        return s;
    };

    // Extended numbering: the real count and string-table index live in the
    // first section header.
    if (shnum == 0 || shstrndx == 0xFFFF) {
        unsigned char first[64];
        if (!f.readAt(shoff, minEnt, first)) return std::nullopt;
        const Section s0 = readSection(first);
        if (shnum == 0) shnum = s0.size;
        if (shstrndx == 0xFFFF) shstrndx = s0.link;
    }
    if (shnum == 0 || shstrndx >= shnum) return std::nullopt;
    if (shnum > kMaxHeaderTable / shentsize) return std::nullopt;

    Bytes table(size_t(shnum * shentsize));
    if (!f.readAt(shoff, table.size(), table.data())) return std::nullopt;
    auto section = [&](uint64_t i) { return readSection(table.data() + i * shentsize); };

    constexpr uint64_t kNoBits = 8;
    const Section strtab = section(shstrndx);
    if (strtab.type == kNoBits || strtab.size == 0 || strtab.size > kMaxHeaderTable)
        return std::nullopt;
    Bytes names(size_t(strtab.size));
    if (!f.readAt(strtab.offset, names.size(), names.data())) return std::nullopt;

    const size_t wantLen = std::strlen(ver::kSectionName);
    for (uint64_t i = 0; i < shnum; ++i) {
        const Section s = section(i);
        if (s.name >= names.size() || names.size() - s.name < wantLen + 1) continue;
        if (std::memcmp(names.data() + s.name, ver::kSectionName, wantLen + 1) != 0) continue;
        if (s.type == kNoBits) return std::nullopt;
        const uint64_t n = std::min<uint64_t>(s.size, kMaxBlock + 4);
        Bytes out(static_cast<size_t>(n));
        if (!f.readAt(s.offset, n, out.data())) return std::nullopt;
        return out;
    }
    return std::nullopt;
}

uint16_t rd16(const unsigned char *p) { return uint16_t(p[0] | (p[1] << 8)); }

// One node of a block, every position an offset from the block's start.
struct Node {
    size_t begin = 0, end = 0;
    uint16_t valueLength = 0, type = 0;
    size_t keyBegin = 0, keyUnits = 0;
    size_t valueBegin = 0, valueBytes = 0;
    size_t childrenBegin = 0;
};

// Parses the node at `begin`, which must lie wholly before `limit`.
std::optional<Node> ParseNode(const unsigned char *b, size_t begin, size_t limit)
{
    if (begin > limit || limit - begin < ver::kNodeHeaderSize) return std::nullopt;
    Node n;
    n.begin = begin;
    const size_t length = rd16(b + begin);
    if (length < ver::kNodeHeaderSize || length > limit - begin) return std::nullopt;
    n.end = begin + length;
    n.valueLength = rd16(b + begin + 2);
    n.type = rd16(b + begin + 4);
    n.keyBegin = begin + ver::kNodeHeaderSize;
    size_t p = n.keyBegin;
    for (;;) {
        if (n.end - p < 2) return std::nullopt; // key without its final zero
        if (rd16(b + p) == 0) break;
        p += 2;
    }
    n.keyUnits = (p - n.keyBegin) / 2;
    n.valueBegin = align4(p + 2);
    n.valueBytes = n.type == 1 ? size_t(n.valueLength) * 2 : n.valueLength;
    if (n.valueBytes > 0 && (n.valueBegin > n.end || n.end - n.valueBegin < n.valueBytes))
        return std::nullopt;
    n.childrenBegin = align4(n.valueBegin + n.valueBytes);
    return n;
}

QString NodeKey(const unsigned char *b, const Node &n)
{
    QString key;
    key.reserve(qsizetype(n.keyUnits));
    for (size_t i = 0; i < n.keyUnits; ++i) key.append(QChar(rd16(b + n.keyBegin + 2 * i)));
    return key;
}

// Calls f(child) for each child of the node, in order; stops at the first
// damaged one.
template <class F>
void ForEachChild(const unsigned char *b, const Node &n, F &&f)
{
    size_t pos = n.childrenBegin;
    while (pos < n.end && n.end - pos >= ver::kNodeHeaderSize) {
        const auto child = ParseNode(b, pos, n.end);
        if (!child) return;
        if (!f(*child)) return;
        pos = align4(child->end);
    }
}

// The root node of a block of `size` bytes, when it is a version block.
std::optional<Node> Root(const unsigned char *b, size_t size)
{
    auto root = ParseNode(b, 0, size);
    if (!root || NodeKey(b, *root) != QLatin1String("VS_VERSION_INFO")) return std::nullopt;
    return root;
}

// Writes the CP949 form of every text value below `n` into the area that
// follows the block, at the same offset as the value.
void ConvertTexts(const unsigned char *b, unsigned char *ansi, const Node &n, int depth)
{
    if (depth > kMaxDepth) return;
    if (n.type == 1 && n.valueLength > 0) {
        QString text;
        for (size_t i = 0; i < n.valueLength; ++i) {
            const uint16_t u = rd16(b + n.valueBegin + 2 * i);
            if (u == 0) break;
            text.append(QChar(u));
        }
        const std::string cp = FromQ(text);
        const size_t room = n.valueBytes - 1; // always leaves one byte for the zero
        const size_t len = std::min(cp.size(), room);
        std::memcpy(ansi + n.valueBegin, cp.data(), len);
        ansi[n.valueBegin + len] = 0;
    }
    ForEachChild(b, n, [&](const Node &c) {
        ConvertTexts(b, ansi, c, depth + 1);
        return true;
    });
}

} // namespace

uint32_t GetFileVersionInfoSize(const std::string &file, uint32_t *handle)
{
    if (handle) *handle = 0;
    const auto sec = ReadVersionSection(file);
    if (!sec) return 0;
    const auto root = Root(sec->data(), sec->size());
    if (!root) return 0;
    return uint32_t(align4(root->end) * 2);
}

bool GetFileVersionInfo(const std::string &file, uint32_t /*handle*/, uint32_t len, void *data)
{
    if (!data) return false;
    const auto sec = ReadVersionSection(file);
    if (!sec) return false;
    const auto root = Root(sec->data(), sec->size());
    if (!root) return false;
    const size_t raw = align4(root->end);
    if (len < raw * 2) return false;
    auto *out = static_cast<unsigned char *>(data);
    std::memset(out, 0, raw * 2);
    std::memcpy(out, sec->data(), root->end);
    ConvertTexts(out, out + raw, *root, 0);
    return true;
}

bool VerQueryValue(const void *block, const std::string &subBlock, const void **buffer, uint32_t *len)
{
    if (!block || !buffer) return false;
    const auto *b = static_cast<const unsigned char *>(block);
    const size_t rootLen = rd16(b);
    auto node = Root(b, rootLen);
    if (!node) return false;

    // Walk the path one name at a time; empty names ("\\" runs) are skipped.
    size_t i = 0;
    int depth = 0;
    while (i < subBlock.size()) {
        size_t j = subBlock.find('\\', i);
        if (j == std::string::npos) j = subBlock.size();
        if (j > i) {
            if (++depth > kMaxDepth) return false;
            const QString want = ToQ(subBlock.substr(i, j - i));
            std::optional<Node> found;
            ForEachChild(b, *node, [&](const Node &c) {
                if (NodeKey(b, c).compare(want, Qt::CaseInsensitive) == 0) {
                    found = c;
                    return false;
                }
                return true;
            });
            if (!found) return false;
            node = found;
        }
        i = j + 1;
    }

    if (node->valueLength == 0) {
        if (node->type != 1) return false;
        static const char empty[1] = {0};
        *buffer = empty;
        if (len) *len = 0;
        return true;
    }
    if (node->type == 1) {
        const char *text = reinterpret_cast<const char *>(b + align4(rootLen) + node->valueBegin);
        *buffer = text;
        if (len) *len = uint32_t(std::strlen(text) + 1);
        return true;
    }
    *buffer = b + node->valueBegin;
    if (len) *len = node->valueLength;
    return true;
}

std::string GetFileVersionString(const std::string &file, const std::string &key)
{
    uint32_t handle = 0;
    const uint32_t size = GetFileVersionInfoSize(file, &handle);
    if (size == 0) return {};
    std::vector<unsigned char> buf(size_t(size) + 1);
    if (!GetFileVersionInfo(file, handle, size, buf.data())) return {};

    const void *p = nullptr;
    uint32_t n = 0;
    if (!VerQueryValue(buf.data(), "\\VarFileInfo\\Translation", &p, &n) || n < 4) return {};
    const auto *t = static_cast<const unsigned char *>(p);
    const unsigned language = rd16(t), codePage = rd16(t + 2);
    char table[9];
    std::snprintf(table, sizeof table, "%04X%04X", language, codePage);

    if (!VerQueryValue(buf.data(), std::string("\\StringFileInfo\\") + table + "\\" + key, &p, &n))
        return {};
    return static_cast<const char *>(p);
}

} // namespace fm
