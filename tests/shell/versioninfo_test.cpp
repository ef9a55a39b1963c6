// The version block of a built program and the reader that finds it again,
// on good files and on files that are truncated, damaged or not programs.
#include "platform/versionblock.h"
#include "platform/versioninfo.h"
#include "support/testutil.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

const std::string kMarrowick = FM_BINARY_DIR "/bin/Marrowick.exe";
const std::string kProbe = FM_BINARY_DIR "/bin/libfm_version_probe.so";

std::string str(const Bytes &b) { return std::string(b.begin(), b.end()); }

// The block Marrowick's build describes.
Bytes marrowickBlock()
{
    static const fm::ver::StringEntry strings[] = {
        {"Comments", ""}, {"FileVersion", "1.0.0.8"}, {"ProductVersion", "1.0.0.0"}};
    return fm::ver::BuildBlockVector({0x0412, 0x03B5, {1, 0, 0, 8}, {1, 0, 0, 8}, strings, 3});
}

// A minimal ELF file: header, section names, `content`, then three section
// headers (none, the names, the content section).
struct Elf {
    Bytes bytes;
    bool is64 = true, big = false;
    size_t shoff = 0, ent = 0, contentOffset = 0;
    enum Field { Name, Type, Offset, Size, Link };

    void put(size_t at, uint64_t v, int n)
    {
        for (int i = 0; i < n; ++i) bytes[at + i] = static_cast<unsigned char>(v >> (big ? 8 * (n - 1 - i) : 8 * i));
    }
    // The header fields: section table offset, entry size, count, names index.
    void shoffField(uint64_t v) { put(is64 ? 0x28 : 0x20, v, is64 ? 8 : 4); }
    void header(size_t off64, size_t off32, uint64_t v) { put(is64 ? off64 : off32, v, 2); }
    void section(size_t index, Field f, uint64_t v)
    {
        const size_t base = shoff + index * ent;
        static const size_t at64[] = {0, 4, 24, 32, 40}, at32[] = {0, 4, 16, 20, 24};
        const bool wide = is64 && (f == Offset || f == Size);
        put(base + (is64 ? at64[f] : at32[f]), v, wide ? 8 : 4);
    }
};

Elf makeElf(const Bytes &content, const char *name = ".fmversion", bool is64 = true, bool big = false)
{
    Elf e;
    e.is64 = is64;
    e.big = big;
    e.ent = is64 ? 64 : 40;
    const std::string names = std::string("\0.shstrtab\0", 11) + name + std::string(1, '\0');
    const size_t namesAt = is64 ? 64 : 52;
    e.contentOffset = (namesAt + names.size() + 3) & ~size_t(3);
    e.shoff = (e.contentOffset + content.size() + 7) & ~size_t(7);
    e.bytes.assign(e.shoff + 3 * e.ent, 0);
    const unsigned char ident[] = {0x7F, 'E', 'L', 'F', static_cast<unsigned char>(is64 ? 2 : 1),
                                   static_cast<unsigned char>(big ? 2 : 1), 1};
    std::memcpy(e.bytes.data(), ident, sizeof ident);
    e.shoffField(e.shoff);
    e.header(0x3A, 0x2E, e.ent);
    e.header(0x3C, 0x30, 3);
    e.header(0x3E, 0x32, 1);
    std::memcpy(e.bytes.data() + namesAt, names.data(), names.size());
    std::memcpy(e.bytes.data() + e.contentOffset, content.data(), content.size());
    const uint64_t fields[2][4] = {{1, 3, namesAt, names.size()}, {11, 1, e.contentOffset, content.size()}};
    for (size_t i = 0; i < 2; ++i)
        for (int f = 0; f < 4; ++f) e.section(i + 1, Elf::Field(f), fields[i][f]);
    return e;
}

// The offset of the node whose key is `key` (ASCII) inside a block.
size_t nodeOffset(const Bytes &block, const char *key)
{
    Bytes pattern;
    for (const char *p = key; *p; ++p) pattern.insert(pattern.end(), {static_cast<unsigned char>(*p), 0});
    pattern.insert(pattern.end(), {0, 0});
    auto it = std::search(block.begin(), block.end(), pattern.begin(), pattern.end());
    return it == block.end() ? std::string::npos : size_t(it - block.begin()) - fm::ver::kNodeHeaderSize;
}

void put16(Bytes &b, size_t at, unsigned v)
{
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}

class VersionFiles : public ::testing::Test {
protected:
    fmtest::TempDir dir;
    std::string write(const std::string &name, const Bytes &b)
    {
        dir.write(name, str(b));
        return dir.file(name);
    }
    std::string version(const Bytes &elf, const std::string &key = "FileVersion")
    {
        return fm::GetFileVersionString(write("f.so", elf), key);
    }
};

} // namespace

TEST(VersionReader, MarrowickCarriesItsVersion)
{
    ASSERT_TRUE(std::filesystem::exists(kMarrowick)) << kMarrowick;
    EXPECT_EQ(fm::GetFileVersionString(kMarrowick, "FileVersion"), "1.0.0.8");
    EXPECT_EQ(fm::GetFileVersionString(kMarrowick, "ProductVersion"), "1.0.0.0");
    for (const char *empty : {"Comments", "CompanyName", "FileDescription", "InternalName",
                              "LegalCopyright", "LegalTrademarks", "OriginalFilename", "ProductName",
                              "NoSuchName"})
        EXPECT_EQ(fm::GetFileVersionString(kMarrowick, empty), "") << empty;

    uint32_t handle = 7;
    const uint32_t size = fm::GetFileVersionInfoSize(kMarrowick, &handle);
    ASSERT_GT(size, 0u);
    EXPECT_EQ(handle, 0u);
    std::vector<unsigned char> buf(size);
    // A buffer smaller than the size asked for is refused, not overrun.
    EXPECT_FALSE(fm::GetFileVersionInfo(kMarrowick, 0, size - 1, buf.data()));
    ASSERT_TRUE(fm::GetFileVersionInfo(kMarrowick, 0, size, buf.data()));
    const void *p = nullptr;
    uint32_t len = 0;
    // One translation: Korean, code page 949.
    ASSERT_TRUE(fm::VerQueryValue(buf.data(), "\\VarFileInfo\\Translation", &p, &len));
    ASSERT_EQ(len, 4u);
    const auto *t = static_cast<const unsigned char *>(p);
    EXPECT_EQ(t[0] | (t[1] << 8), 0x0412);
    EXPECT_EQ(t[2] | (t[3] << 8), 0x03B5);
    // Names compare without regard to case; a prefix is not a match.
    ASSERT_TRUE(fm::VerQueryValue(buf.data(), "\\stringfileinfo\\041203b5\\FILEVERSION", &p, &len));
    EXPECT_STREQ(static_cast<const char *>(p), "1.0.0.8");
    EXPECT_EQ(len, 8u);
    EXPECT_FALSE(fm::VerQueryValue(buf.data(), "\\VarFileInfo\\Trans", &p, &len));
    // The fixed part: signature, then file and product version 1.0.0.8.
    ASSERT_TRUE(fm::VerQueryValue(buf.data(), "\\", &p, &len));
    ASSERT_EQ(len, fm::ver::kFixedInfoSize);
    uint32_t fixed[6];
    std::memcpy(fixed, p, sizeof fixed);
    EXPECT_EQ(fixed[0], 0xFEEF04BDu);
    EXPECT_EQ(fixed[2], 0x00010000u);
    EXPECT_EQ(fixed[3], 8u);
    EXPECT_EQ(fixed[4], 0x00010000u);
    EXPECT_EQ(fixed[5], 8u);
}

TEST(VersionReader, ALibraryWithAnotherTranslationAndKoreanText)
{
    ASSERT_TRUE(std::filesystem::exists(kProbe)) << kProbe;
    EXPECT_EQ(fm::GetFileVersionString(kProbe, "FileVersion"), "2.10.0.3");
    EXPECT_EQ(fm::GetFileVersionString(kProbe, "ProductVersion"), "2.10 beta");
    EXPECT_EQ(fm::GetFileVersionString(kProbe, "CompanyName"), fmtest::K("(주)Norvane"));
    EXPECT_EQ(fm::GetFileVersionString(kProbe, "SpecialBuild"), "quote \" and backslash \\ kept");
    std::vector<unsigned char> buf(fm::GetFileVersionInfoSize(kProbe, nullptr));
    ASSERT_TRUE(fm::GetFileVersionInfo(kProbe, 0, uint32_t(buf.size()), buf.data()));
    const void *p = nullptr;
    EXPECT_FALSE(fm::VerQueryValue(buf.data(), "\\StringFileInfo\\041203B5\\FileVersion", &p, nullptr));
}

TEST_F(VersionFiles, FilesWithoutAVersion)
{
    uint32_t handle = 5;
    EXPECT_EQ(fm::GetFileVersionInfoSize(dir.file("missing.exe"), &handle), 0u);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(fm::GetFileVersionString(dir.file("missing.exe"), "FileVersion"), "");
    EXPECT_EQ(fm::GetFileVersionString(dir.path(), "FileVersion"), ""); // a folder
    EXPECT_EQ(fm::GetFileVersionString(write("empty", {}), "FileVersion"), "");
    EXPECT_EQ(fm::GetFileVersionString(write("text", Bytes{'M', 'Z', 'h', 'i'}), "FileVersion"), "");
    // A program without the section (this test program).
    EXPECT_EQ(fm::GetFileVersionString("/proc/self/exe", "FileVersion"), "");
    // A FIFO is not waited on.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_EQ(fm::GetFileVersionString(dir.file("fifo"), "FileVersion"), "");

    // A section of another name.
    EXPECT_EQ(version(makeElf(marrowickBlock(), ".fmversionx").bytes), "");
    EXPECT_EQ(version(makeElf(marrowickBlock(), ".fmversio").bytes), "");
    // The good files these are made from do have a version, in either
    // word size and byte order.
    EXPECT_EQ(version(makeElf(marrowickBlock()).bytes), "1.0.0.8");
    EXPECT_EQ(version(makeElf(marrowickBlock(), ".fmversion", false, false).bytes), "1.0.0.8");
    EXPECT_EQ(version(makeElf(marrowickBlock(), ".fmversion", true, true).bytes, "ProductVersion"), "1.0.0.0");
}

TEST_F(VersionFiles, EveryTruncationFailsCleanly)
{
    const Bytes whole = makeElf(marrowickBlock()).bytes;
    ASSERT_EQ(version(whole), "1.0.0.8");
    for (size_t n = 0; n < whole.size(); ++n)
        ASSERT_EQ(version(Bytes(whole.begin(), whole.begin() + long(n))), "") << "length " << n;

    // The real program cut in the middle, and by one byte.
    std::ifstream f(kMarrowick, std::ios::binary);
    const Bytes real{std::istreambuf_iterator<char>(f), {}};
    ASSERT_GT(real.size(), 1000u);
    for (size_t n : {real.size() / 2, real.size() - 1})
        EXPECT_EQ(fm::GetFileVersionString(write("cut.exe", Bytes(real.begin(), real.begin() + long(n))),
                                           "FileVersion"),
                  "")
            << "length " << n;
}

TEST_F(VersionFiles, DamagedHeadersAreRejected)
{
    auto damaged = [&](auto change) {
        Elf e = makeElf(marrowickBlock());
        change(e);
        return version(e.bytes);
    };
    const uint64_t huge = ~uint64_t(0);
    using F = Elf::Field;
    EXPECT_EQ(damaged([](Elf &e) { e.bytes[4] = 3; }), "");                        // word size
    EXPECT_EQ(damaged([](Elf &e) { e.bytes[5] = 0; }), "");                        // byte order
    EXPECT_EQ(damaged([&](Elf &e) { e.shoffField(huge - 10); }), "");              // table far away
    EXPECT_EQ(damaged([&](Elf &e) { e.shoffField(e.bytes.size() - 8); }), "");     // table cut
    EXPECT_EQ(damaged([](Elf &e) { e.shoffField(0); }), "");                       // no table
    EXPECT_EQ(damaged([](Elf &e) { e.header(0x3A, 0x2E, 10); }), "");              // entries too small
    EXPECT_EQ(damaged([](Elf &e) { e.header(0x3C, 0x30, 0xFFFF); }), "");          // too many entries
    EXPECT_EQ(damaged([](Elf &e) { e.header(0x3E, 0x32, 3); }), "");               // names beyond the table
    EXPECT_EQ(damaged([&](Elf &e) { e.section(1, F::Size, huge); }), "");          // names beyond the file
    EXPECT_EQ(damaged([&](Elf &e) { e.section(1, F::Offset, huge - 2); }), "");    // offset wraps around
    EXPECT_EQ(damaged([](Elf &e) { e.section(2, F::Name, 0x7FFFFFFF); }), "");     // name beyond the names
    EXPECT_EQ(damaged([](Elf &e) { e.section(1, F::Size, 14); }), "");             // name cut short
    EXPECT_EQ(damaged([&](Elf &e) { e.section(2, F::Offset, huge - 4); }), "");    // contents beyond the file
    EXPECT_EQ(damaged([&](Elf &e) { e.section(2, F::Size, huge); }), "");
    EXPECT_EQ(damaged([](Elf &e) { e.section(2, F::Size, 5); }), "");              // contents too short
    EXPECT_EQ(damaged([](Elf &e) { e.section(2, F::Type, 8); }), "");              // no contents at all

    // Extended numbering (count and names index in the first header) is read.
    EXPECT_EQ(damaged([](Elf &e) { e.header(0x3C, 0x30, 0), e.section(0, F::Size, 3); }), "1.0.0.8");
    EXPECT_EQ(damaged([](Elf &e) { e.header(0x3E, 0x32, 0xFFFF), e.section(0, F::Link, 1); }), "1.0.0.8");
}

TEST_F(VersionFiles, DamagedBlocksAreRejected)
{
    const Bytes good = marrowickBlock();
    auto with = [&](auto change) {
        Bytes b = good;
        change(b);
        return version(makeElf(b).bytes);
    };
    const size_t fileVersion = nodeOffset(good, "FileVersion");
    const size_t table = nodeOffset(good, "041203B5");
    const size_t translation = nodeOffset(good, "Translation");
    ASSERT_NE(fileVersion, std::string::npos);
    ASSERT_NE(table, std::string::npos);
    ASSERT_NE(translation, std::string::npos);

    EXPECT_EQ(with([](Bytes &b) { put16(b, 0, unsigned(b.size() + 4)); }), ""); // longer than the section
    EXPECT_EQ(with([](Bytes &b) { put16(b, 0, 4); }), "");                      // shorter than a header
    EXPECT_EQ(with([](Bytes &b) { b[6] = 'W'; }), "");                          // not VS_VERSION_INFO
    EXPECT_EQ(with([](Bytes &b) {                                               // key without its zero
                  for (size_t i = 6; i < b.size(); ++i)
                      if (b[i] == 0) b[i] = 'A';
              }),
              "");
    // A child of length 0 ends the walk instead of looping.
    EXPECT_EQ(with([&](Bytes &b) { put16(b, table, 0); }), "");
    // A child longer than its parent is not followed.
    EXPECT_EQ(with([&](Bytes &b) { put16(b, fileVersion, 0xFFF0); }), "");
    // A text value longer than its node is not read.
    EXPECT_EQ(with([&](Bytes &b) { put16(b, fileVersion + 2, 0x7FFF); }), "");
    // A translation table too short to hold one entry.
    EXPECT_EQ(with([&](Bytes &b) { put16(b, translation + 2, 2); }), "");
    // A text value without its final zero is cut, never read past its node.
    const std::string cut = with([&](Bytes &b) {
        // Header, "FileVersion" and its zero, padding: the value's 8 units follow.
        const size_t value = fileVersion + 32;
        for (size_t i = 0; i < 8; ++i) put16(b, value + 2 * i, '9');
    });
    EXPECT_EQ(cut, "99999999");
}

TEST_F(VersionFiles, RandomDamageNeverReadsOutOfBounds)
{
    const Elf base = makeElf(marrowickBlock());
    std::mt19937 rng(20240517);
    int intact = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes b = base.bytes;
        const int flips = 1 + int(rng() % 4);
        for (int i = 0; i < flips; ++i) b[rng() % b.size()] ^= static_cast<unsigned char>(1u << (rng() % 8));
        const std::string v = version(b);
        // Whatever is found lies inside the block: never longer than it.
        ASSERT_LE(v.size(), base.bytes.size() - base.contentOffset) << "round " << round;
        intact += v == "1.0.0.8";
    }
    // Most flips land outside what the reader looks at.
    EXPECT_GT(intact, 0);
}
