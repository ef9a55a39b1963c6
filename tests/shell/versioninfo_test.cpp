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

// Reads the whole of a file.
Bytes slurp(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

std::string str(const Bytes &b) { return std::string(b.begin(), b.end()); }

// The block Marrowick's build describes.
Bytes marrowickBlock()
{
    static const fm::ver::StringEntry strings[] = {{"Comments", ""},         {"CompanyName", ""},
                                                   {"FileVersion", "1.0.0.8"}, {"ProductVersion", "1.0.0.0"}};
    fm::ver::Spec s;
    s.language = 0x0412;
    s.codePage = 0x03B5;
    const uint16_t v[4] = {1, 0, 0, 8};
    std::copy(v, v + 4, s.fileVersion);
    std::copy(v, v + 4, s.productVersion);
    s.strings = strings;
    s.stringCount = std::size(strings);
    return fm::ver::BuildBlockVector(s);
}

// A minimal ELF file with a string table and one section holding `content`.
struct Elf {
    Bytes bytes;
    size_t ehShoff = 0, ehShnum = 0, ehShstrndx = 0, ehShentsize = 0; // header fields
    size_t shoff = 0, shentsize = 0;
    size_t contentOffset = 0;
    bool is64 = true, big = false;

    void put(size_t at, uint64_t v, int n)
    {
        for (int i = 0; i < n; ++i) {
            const int shift = big ? 8 * (n - 1 - i) : 8 * i;
            bytes[at + i] = static_cast<unsigned char>(v >> shift);
        }
    }
    // Field of the section header `index`: offsets of the 64-bit layout,
    // mapped for 32 bits.
    void putSection(size_t index, const char *field, uint64_t v)
    {
        const size_t base = shoff + index * shentsize;
        const std::string f = field;
        if (f == "name") put(base, v, 4);
        if (f == "type") put(base + 4, v, 4);
        if (f == "offset") put(base + (is64 ? 24 : 16), v, is64 ? 8 : 4);
        if (f == "size") put(base + (is64 ? 32 : 20), v, is64 ? 8 : 4);
        if (f == "link") put(base + (is64 ? 40 : 24), v, 4);
    }
};

Elf makeElf(const Bytes &content, const char *sectionName = ".fmversion", bool is64 = true,
            bool big = false)
{
    Elf e;
    e.is64 = is64;
    e.big = big;
    const size_t eh = is64 ? 64 : 52;
    e.shentsize = is64 ? 64 : 40;
    std::string names = std::string("\0.shstrtab\0", 11) + sectionName + std::string(1, '\0');
    const size_t namesOffset = eh;
    e.contentOffset = (namesOffset + names.size() + 3) & ~size_t(3);
    e.shoff = (e.contentOffset + content.size() + 7) & ~size_t(7);
    e.bytes.assign(e.shoff + 3 * e.shentsize, 0);

    const unsigned char ident[] = {0x7F, 'E', 'L', 'F', static_cast<unsigned char>(is64 ? 2 : 1),
                                   static_cast<unsigned char>(big ? 2 : 1), 1};
    std::memcpy(e.bytes.data(), ident, sizeof ident);
    e.put(16, 2, 2);  // executable
    e.put(18, 62, 2); // machine
    e.put(20, 1, 4);
    e.ehShoff = is64 ? 0x28 : 0x20;
    e.ehShentsize = is64 ? 0x3A : 0x2E;
    e.ehShnum = is64 ? 0x3C : 0x30;
    e.ehShstrndx = is64 ? 0x3E : 0x32;
    e.put(e.ehShoff, e.shoff, is64 ? 8 : 4);
    e.put(is64 ? 0x34 : 0x28, eh, 2);
    e.put(e.ehShentsize, e.shentsize, 2);
    e.put(e.ehShnum, 3, 2);
    e.put(e.ehShstrndx, 1, 2);

    std::memcpy(e.bytes.data() + namesOffset, names.data(), names.size());
    std::memcpy(e.bytes.data() + e.contentOffset, content.data(), content.size());
    e.putSection(1, "name", 1);
    e.putSection(1, "type", 3);
    e.putSection(1, "offset", namesOffset);
    e.putSection(1, "size", names.size());
    e.putSection(2, "name", 11);
    e.putSection(2, "type", 1);
    e.putSection(2, "offset", e.contentOffset);
    e.putSection(2, "size", content.size());
    return e;
}

// The offset of the node whose key is `key` (ASCII) inside a block.
size_t nodeOffset(const Bytes &block, const char *key)
{
    Bytes pattern;
    for (const char *p = key; *p; ++p) {
        pattern.push_back(static_cast<unsigned char>(*p));
        pattern.push_back(0);
    }
    pattern.push_back(0);
    pattern.push_back(0);
    auto it = std::search(block.begin(), block.end(), pattern.begin(), pattern.end());
    if (it == block.end()) return std::string::npos;
    return size_t(it - block.begin()) - fm::ver::kNodeHeaderSize;
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

struct Fixed {
    uint32_t signature, structVersion, fileMS, fileLS, productMS, productLS;
};

Fixed readFixed(const std::string &file)
{
    uint32_t handle = 7;
    const uint32_t size = fm::GetFileVersionInfoSize(file, &handle);
    EXPECT_EQ(handle, 0u);
    std::vector<unsigned char> buf(size);
    EXPECT_TRUE(fm::GetFileVersionInfo(file, handle, size, buf.data()));
    const void *p = nullptr;
    uint32_t len = 0;
    EXPECT_TRUE(fm::VerQueryValue(buf.data(), "\\", &p, &len));
    EXPECT_EQ(len, fm::ver::kFixedInfoSize);
    Fixed f{};
    if (p) std::memcpy(&f, p, sizeof f);
    return f;
}

} // namespace

TEST(VersionReader, MarrowickCarriesItsVersion)
{
    ASSERT_TRUE(std::filesystem::exists(kMarrowick)) << kMarrowick;
    EXPECT_EQ(fm::GetFileVersionString(kMarrowick, "FileVersion"), "1.0.0.8");
    EXPECT_EQ(fm::GetFileVersionString(kMarrowick, "ProductVersion"), "1.0.0.0");
    for (const char *empty : {"Comments", "CompanyName", "FileDescription", "InternalName",
                              "LegalCopyright", "LegalTrademarks", "OriginalFilename", "ProductName"})
        EXPECT_EQ(fm::GetFileVersionString(kMarrowick, empty), "") << empty;
    EXPECT_EQ(fm::GetFileVersionString(kMarrowick, "NoSuchName"), "");

    // One translation: Korean, code page 949.
    const uint32_t size = fm::GetFileVersionInfoSize(kMarrowick, nullptr);
    ASSERT_GT(size, 0u);
    std::vector<unsigned char> buf(size);
    ASSERT_TRUE(fm::GetFileVersionInfo(kMarrowick, 0, size, buf.data()));
    const void *p = nullptr;
    uint32_t len = 0;
    ASSERT_TRUE(fm::VerQueryValue(buf.data(), "\\VarFileInfo\\Translation", &p, &len));
    ASSERT_EQ(len, 4u);
    const auto *t = static_cast<const unsigned char *>(p);
    EXPECT_EQ(t[0] | (t[1] << 8), 0x0412);
    EXPECT_EQ(t[2] | (t[3] << 8), 0x03B5);
    ASSERT_TRUE(fm::VerQueryValue(buf.data(), "\\StringFileInfo\\041203B5\\FileVersion", &p, &len));
    EXPECT_STREQ(static_cast<const char *>(p), "1.0.0.8");
    EXPECT_EQ(len, 8u);

    const Fixed f = readFixed(kMarrowick);
    EXPECT_EQ(f.signature, 0xFEEF04BDu);
    EXPECT_EQ(f.fileMS, 0x00010000u);
    EXPECT_EQ(f.fileLS, 0x00000008u);
    EXPECT_EQ(f.productMS, 0x00010000u);
    EXPECT_EQ(f.productLS, 0x00000008u);
}

TEST(VersionReader, ALibraryWithAnotherTranslationAndKoreanText)
{
    ASSERT_TRUE(std::filesystem::exists(kProbe)) << kProbe;
    EXPECT_EQ(fm::GetFileVersionString(kProbe, "FileVersion"), "2.10.0.3");
    EXPECT_EQ(fm::GetFileVersionString(kProbe, "ProductVersion"), "2.10 beta");
    EXPECT_EQ(fm::GetFileVersionString(kProbe, "CompanyName"), fmtest::K("(주)Norvane"));
    EXPECT_EQ(fm::GetFileVersionString(kProbe, "SpecialBuild"), "quote \" and backslash \\ kept");
    EXPECT_EQ(fm::GetFileVersionString(kProbe, "Comments"), "");

    std::vector<unsigned char> buf(fm::GetFileVersionInfoSize(kProbe, nullptr));
    ASSERT_TRUE(fm::GetFileVersionInfo(kProbe, 0, uint32_t(buf.size()), buf.data()));
    const void *p = nullptr;
    uint32_t len = 0;
    // Only the table of its own translation exists.
    EXPECT_FALSE(fm::VerQueryValue(buf.data(), "\\StringFileInfo\\041203B5\\FileVersion", &p, &len));
    EXPECT_TRUE(fm::VerQueryValue(buf.data(), "\\StringFileInfo\\040904B0\\FileVersion", &p, &len));

    const Fixed f = readFixed(kProbe);
    EXPECT_EQ(f.fileMS, (2u << 16) | 10u);
    EXPECT_EQ(f.fileLS, 65535u);
}

TEST(VersionReader, NamesCompareWithoutRegardToCase)
{
    std::vector<unsigned char> buf(fm::GetFileVersionInfoSize(kMarrowick, nullptr));
    ASSERT_FALSE(buf.empty());
    ASSERT_TRUE(fm::GetFileVersionInfo(kMarrowick, 0, uint32_t(buf.size()), buf.data()));
    const void *p = nullptr;
    uint32_t len = 0;
    ASSERT_TRUE(fm::VerQueryValue(buf.data(), "\\stringfileinfo\\041203b5\\FILEVERSION", &p, &len));
    EXPECT_STREQ(static_cast<const char *>(p), "1.0.0.8");
    // Doubled separators are skipped; a name that is only a prefix is not a match.
    EXPECT_TRUE(fm::VerQueryValue(buf.data(), "\\\\VarFileInfo\\\\Translation", &p, &len));
    EXPECT_FALSE(fm::VerQueryValue(buf.data(), "\\VarFileInfo\\Trans", &p, &len));
    EXPECT_FALSE(fm::VerQueryValue(buf.data(), "\\StringFileInfo\\041203B5\\FileVersion\\x", &p, &len));
}

TEST(VersionReader, QueryContract)
{
    const uint32_t size = fm::GetFileVersionInfoSize(kMarrowick, nullptr);
    ASSERT_GT(size, 0u);
    std::vector<unsigned char> buf(size);
    // A buffer smaller than the size asked for is refused, not overrun.
    EXPECT_FALSE(fm::GetFileVersionInfo(kMarrowick, 0, size - 1, buf.data()));
    EXPECT_FALSE(fm::GetFileVersionInfo(kMarrowick, 0, size, nullptr));
    const void *p = nullptr;
    EXPECT_FALSE(fm::VerQueryValue(nullptr, "\\", &p, nullptr));
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

    // A section of another name, or one without contents.
    EXPECT_EQ(version(makeElf(marrowickBlock(), ".fmversionx").bytes), "");
    EXPECT_EQ(version(makeElf(marrowickBlock(), ".fmversio").bytes), "");
    Elf nobits = makeElf(marrowickBlock());
    nobits.putSection(2, "type", 8);
    EXPECT_EQ(version(nobits.bytes), "");
    // The good file these are made from does have a version.
    EXPECT_EQ(version(makeElf(marrowickBlock()).bytes), "1.0.0.8");
}

TEST_F(VersionFiles, ThirtyTwoBitAndBigEndianFilesAreRead)
{
    EXPECT_EQ(version(makeElf(marrowickBlock(), ".fmversion", false, false).bytes), "1.0.0.8");
    EXPECT_EQ(version(makeElf(marrowickBlock(), ".fmversion", true, true).bytes), "1.0.0.8");
    EXPECT_EQ(version(makeElf(marrowickBlock(), ".fmversion", false, true).bytes, "ProductVersion"),
              "1.0.0.0");
}

TEST_F(VersionFiles, EveryTruncationFailsCleanly)
{
    const Bytes whole = makeElf(marrowickBlock()).bytes;
    ASSERT_EQ(version(whole), "1.0.0.8");
    for (size_t n = 0; n < whole.size(); ++n)
        ASSERT_EQ(version(Bytes(whole.begin(), whole.begin() + long(n))), "") << "length " << n;

    // The real program cut in the middle, and by one byte.
    const Bytes real = slurp(kMarrowick);
    ASSERT_GT(real.size(), 1000u);
    for (size_t n : {real.size() / 2, real.size() - 1})
        EXPECT_EQ(fm::GetFileVersionString(write("cut.exe", Bytes(real.begin(), real.begin() + long(n))),
                                           "FileVersion"),
                  "")
            << "length " << n;
}

TEST_F(VersionFiles, DamagedHeadersAreRejected)
{
    const Bytes block = marrowickBlock();
    auto damaged = [&](auto change) {
        Elf e = makeElf(block);
        change(e);
        return version(e.bytes);
    };
    const uint64_t huge = ~uint64_t(0);
    EXPECT_EQ(damaged([](Elf &e) { e.bytes[4] = 3; }), "");                          // class
    EXPECT_EQ(damaged([](Elf &e) { e.bytes[5] = 0; }), "");                          // byte order
    EXPECT_EQ(damaged([&](Elf &e) { e.put(e.ehShoff, huge - 10, 8); }), "");         // table far away
    EXPECT_EQ(damaged([&](Elf &e) { e.put(e.ehShoff, e.bytes.size() - 8, 8); }), ""); // table cut
    EXPECT_EQ(damaged([](Elf &e) { e.put(e.ehShoff, 0, 8); }), "");                  // no table
    EXPECT_EQ(damaged([](Elf &e) { e.put(e.ehShentsize, 10, 2); }), "");             // entries too small
    EXPECT_EQ(damaged([](Elf &e) { e.put(e.ehShnum, 0xFFFF, 2); }), "");             // too many entries
    EXPECT_EQ(damaged([](Elf &e) { e.put(e.ehShstrndx, 3, 2); }), "");               // names beyond the table
    EXPECT_EQ(damaged([](Elf &e) { e.putSection(1, "size", huge); }), "");           // names beyond the file
    EXPECT_EQ(damaged([](Elf &e) { e.putSection(1, "offset", huge - 2); }), "");     // offset wraps around
    EXPECT_EQ(damaged([](Elf &e) { e.putSection(2, "name", 0x7FFFFFFF); }), "");     // name beyond the names
    EXPECT_EQ(damaged([](Elf &e) { e.putSection(1, "size", 14); }), "");             // name cut by the table end
    EXPECT_EQ(damaged([](Elf &e) { e.putSection(2, "offset", huge - 4); }), "");     // contents beyond the file
    EXPECT_EQ(damaged([](Elf &e) { e.putSection(2, "size", huge); }), "");
    EXPECT_EQ(damaged([](Elf &e) { e.putSection(2, "size", 5); }), "");              // contents too short

    // Extended numbering (count and name index in the first header) is read.
    EXPECT_EQ(damaged([](Elf &e) {
                  e.put(e.ehShnum, 0, 2);
                  e.putSection(0, "size", 3);
              }),
              "1.0.0.8");
    EXPECT_EQ(damaged([](Elf &e) {
                  e.put(e.ehShstrndx, 0xFFFF, 2);
                  e.putSection(0, "link", 1);
              }),
              "1.0.0.8");
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
