// The conversion library, called through its entry, and ConvertFile, which
// finds, calls and unloads it.
#include "common/msgbox.h"
#include "platform/versioninfo.h"
#include "session/Convert.h"
#include "session/TransferFile.h"
#include "support/testutil.h"

#include <algorithm>
#include <csignal>
#include <ctime>
#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
const std::string kLib = FM_BINARY_DIR "/bin/Omvertis.dll";
const std::string kNoEntryLib = FM_BINARY_DIR "/tests/omvertis-noentry/Omvertis.dll";

std::string Rec(std::string text, size_t width)
{
    text.resize(width, ' ');
    return text + "\r\n";
}

// A header, n data records and a trailer (count at 31), each `width` bytes
// and CR LF.
std::string File(int n, size_t width = 148, std::string count = {})
{
    char num[16];
    std::string out = Rec("H" + fmtest::K("한글학교"), width);
    for (int i = 1; i <= n; ++i) {
        std::snprintf(num, sizeof num, "D%05d", i);
        out += Rec(num + fmtest::K("홍길동"), width);
    }
    std::snprintf(num, sizeof num, "%07d", n);
    return out + Rec(std::string(31, 'T') + (count.empty() ? num : count), width);
}

std::vector<std::string> Entries(const std::string &dir)
{
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Entries of `dir` named prefix + "..." + ".txt".
std::vector<std::string> Results(const std::string &dir, const std::string &prefix)
{
    std::vector<std::string> out;
    for (const auto &name : Entries(dir))
        if (name.rfind(prefix, 0) == 0 && name.size() > prefix.size() + 4 && name.substr(name.size() - 4) == ".txt")
            out.push_back(name);
    return out;
}

// The local time `plus` seconds from now as the results' names carry it.
std::string Stamp(int plus)
{
    const std::time_t t = std::time(nullptr) + plus;
    std::tm local{};
    localtime_r(&t, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &local);
    return buf;
}

bool StillLoaded(const std::string &path)
{
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
}

class Omvertis : public ::testing::Test {
protected:
    using Entry = unsigned char (*)(const char *, const char *, const char *);
    void SetUp() override
    {
        handle = dlopen(kLib.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << kLib;
        entry = reinterpret_cast<Entry>(dlsym(handle, "DoOmvertis"));
        ASSERT_NE(entry, nullptr);
        for (const char *sub : {"Send", "SBACK", "recv"}) fs::create_directory(dir.file(sub));
    }
    void TearDown() override { dlclose(handle); }
    int Convert(const char *name, const char *mode) { return entry(dir.path().c_str(), name, mode); }

    fmtest::TempDir dir;
    void *handle = nullptr;
    Entry entry = nullptr;
};

TEST_F(Omvertis, SendWritesEveryRecordOnALineOfItsOwn)
{
    const std::string file = File(10);
    ASSERT_EQ(file.size(), 12u * 150);
    // The copy has a name of its own: a sent file of the same name stays.
    dir.write("SBACK/S0001.txt", "sent before");
    // A temporary file of a killed conversion goes; one of a conversion
    // still running (this process) stays.
    const std::string live = ".omvertis-" + std::to_string(getpid()) + "-7.tmp";
    dir.write("SBACK/.omvertis-999999999-0.tmp", "killed half-way");
    dir.write("SBACK/" + live, "being written");
    for (const std::string &sent : {file, file.substr(0, file.size() - 2)}) {
        dir.write("Send/S0001.txt", sent);
        ASSERT_EQ(Convert("s0001.TXT", "S"), 1);
        EXPECT_EQ(dir.read("Send/S0001.txt"), sent);
        EXPECT_EQ(dir.read("SBACK/s0001.TXT.cnv"), file);
    }
    dir.write("Send/S0002.txt", File(0).substr(0, 298));
    ASSERT_EQ(Convert("S0002.txt", "S"), 1);
    EXPECT_EQ(dir.read("SBACK/S0002.txt.cnv"), File(0));
    EXPECT_EQ(dir.read("SBACK/S0001.txt"), "sent before");
    EXPECT_EQ(Entries(dir.file("SBACK")),
              (std::vector<std::string>{live, "S0001.txt", "S0002.txt.cnv", "s0001.TXT.cnv"}));
}

TEST_F(Omvertis, MalformedTransferFilesLeaveNoCopy)
{
    const std::string good = File(3);
    std::string crInside = good, noLineEnd = good, nulCount = good;
    crInside[170] = '\r';
    noLineEnd.replace(2 * 150 + 148, 2, "  ");
    nulCount[4 * 150 + 31] = '\0';
    for (const std::string &bytes : {std::string(), good.substr(0, 297), good.substr(0, good.size() - 1),
                                     good + " ", File(3, 148, "0000002"), File(3, 148, "    3  "),
                                     File(3, 148, "   abc "), nulCount, crInside, noLineEnd}) {
        dir.write("Send/S0001.txt", bytes);
        EXPECT_EQ(Convert("S0001.txt", "S"), 0) << bytes.size();
        EXPECT_TRUE(Entries(dir.file("SBACK")).empty());
    }
    fs::create_directory(dir.file("Send/S0005.txt"));
    EXPECT_EQ(Convert("S0005.txt", "S"), 0);
    EXPECT_EQ(Convert("S0404.txt", "S"), 0);
}

TEST_F(Omvertis, NamesAndModesOutsideTheContractAreRefused)
{
    for (const char *path : {"S0001.txt", "Send/S0001.txt", "Send/sub/S0001.txt"}) {
        fs::create_directories(fs::path(dir.file(path)).parent_path());
        dir.write(path, File(2));
    }
    fs::create_directory(dir.file("SBACK/sub"));
    for (const char *name : {"../S0001.txt", "..", ".", "", "sub/S0001.txt", "sub\\S0001.txt", "a..b"}) {
        EXPECT_EQ(Convert(name, "S"), 0) << name;
        EXPECT_EQ(Convert(name, "R"), 0) << name;
    }
    for (const char *mode : {"s", "X", "SR", ""}) EXPECT_EQ(Convert("S0001.txt", mode), 0) << mode;
    EXPECT_EQ(entry(dir.path().c_str(), nullptr, "S"), 0);
    EXPECT_EQ(entry(nullptr, "S0001.txt", "S"), 0);
    EXPECT_EQ(entry(dir.path().c_str(), "S0001.txt", nullptr), 0);
    EXPECT_TRUE(Entries(dir.file("SBACK/sub")).empty());
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"S0001.txt", "SBACK", "Send", "recv"}));
}

TEST_F(Omvertis, ReceivedRawFileBecomesALoadableTransferFile)
{
    dir.write("recv/12340026.201", File(10));
    ASSERT_EQ(Convert("12340026.201", "R"), 1);
    EXPECT_EQ(dir.read("recv/12340026.201"), File(10));
    const auto results = Results(dir.file("recv"), "S12340026_201_");
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].size(), std::string("S12340026_201_20260105093000.txt").size()) << results[0];
    fmtest::ScriptedBoxes boxes;
    fm::TLoadedFile store;
    int count = -1;
    ASSERT_EQ(fm::LoadTransferFile(dir.file("recv/" + results[0]), store, count), fm::LoadResult::Loaded);
    EXPECT_EQ(count, 10);
    EXPECT_EQ(store.Record(10).Field(0, 6), "D00010");
    EXPECT_EQ(fm::trailer::TotalCount(store.FileTrailer), "0000010");

    // Shorter records are filled with blanks, longer ones lose only blanks,
    // and the empty lines of records that held their own CR LF are skipped.
    std::string doubled = File(2);
    for (size_t at = 148; at < doubled.size(); at += 152) doubled.insert(at, "\r\n");
    for (const std::string &raw : {File(2, 100), File(2, 150), doubled}) {
        dir.write("recv/a.b.201", raw);
        ASSERT_EQ(Convert("a.b.201", "R"), 1) << raw.size();
        const auto results = Results(dir.file("recv"), "Sa_b_201_");
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(dir.read("recv/" + results[0]), File(2));
        fs::remove(dir.file("recv/" + results[0]));
    }
}

TEST_F(Omvertis, AReceivedResultNeverReplacesAFileOfRecv)
{
    // The names of this second and the next are taken (in another letter
    // case too): the result takes the next free name.
    for (int plus : {0, 1}) {
        dir.write("recv/S12340026_201_" + Stamp(plus) + ".txt", "earlier");
        dir.write("recv/s12340026_201_" + Stamp(plus) + "_2.TXT", "earlier");
    }
    dir.write("recv/12340026.201", File(1));
    ASSERT_EQ(Convert("12340026.201", "R"), 1);
    std::vector<std::string> written;
    for (const auto &name : Entries(dir.file("recv"))) {
        if (name == "12340026.201") continue;
        if (dir.read("recv/" + name) != "earlier") written.push_back(name);
    }
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].rfind("S12340026_201_", 0), 0u) << written[0];
    EXPECT_EQ(written[0].substr(written[0].size() - 6), "_3.txt") << written[0];
    EXPECT_EQ(dir.read("recv/" + written[0]), File(1));
    EXPECT_EQ(Entries(dir.file("recv")).size(), 6u);
}

TEST_F(Omvertis, AConversionKilledWhileWritingItsResultLeavesNoResultName)
{
    dir.write("recv/12340026.201", File(3));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The result's first write past 100 bytes kills the process
        // (SIGXFSZ), as a kill while the result goes to disk would.
        const rlimit noCore{0, 0}, small{100, 100};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::setrlimit(RLIMIT_FSIZE, &small);
        ::alarm(20);
        Convert("12340026.201", "R");
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    // No "S*.txt", empty or partial, for the lists to show: only the killed
    // conversion's temporary file, which the next conversion removes.
    EXPECT_EQ(Entries(dir.file("recv")),
              (std::vector<std::string>{".omvertis-" + std::to_string(child) + "-0.tmp", "12340026.201"}));
    ASSERT_EQ(Convert("12340026.201", "R"), 1);
    const auto results = Results(dir.file("recv"), "S12340026_201_");
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(dir.read("recv/" + results[0]), File(3));
    EXPECT_EQ(Entries(dir.file("recv")).size(), 2u);
}

TEST_F(Omvertis, MalformedRawFilesAreRefused)
{
    std::string uneven = File(3), textBeyond = File(3, 150), bareLf = File(3);
    uneven.erase(160, 1);
    textBeyond[152 + 149] = 'X';
    bareLf.erase(148, 1);
    for (const std::string &raw : {std::string(), File(0).substr(0, 150), uneven, textBeyond, bareLf,
                                   File(1) + "X\r", File(1, 961)}) {
        dir.write("recv/12340026.201", raw);
        EXPECT_EQ(Convert("12340026.201", "R"), 0) << raw.size();
        EXPECT_EQ(Entries(dir.file("recv")), std::vector<std::string>{"12340026.201"});
    }
    EXPECT_EQ(Convert("12340026.202", "R"), 0);
}

TEST(OmvertisVersion, TheBuiltLibraryCarriesItsFileVersion)
{
    EXPECT_EQ(fm::GetFileVersionString(kLib, "FileVersion"), "1.0.0.4");
    EXPECT_EQ(fm::GetFileVersionString(kNoEntryLib, "FileVersion"), "");
}

class ConvertFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *sub : {"send", "sback", "recv"}) fs::create_directory(app.file(sub));
        app.write("send/S0001.txt", File(4));
        fm::SetProgramFolder(programDir.path());
    }
    void TearDown() override { fm::SetProgramFolder({}); }

    fmtest::TempDir app, programDir;
    fmtest::ScriptedBoxes boxes;
};

TEST_F(ConvertFile, LooksInTheProgramFolderThenTheWorkingFolderAndUnloads)
{
    fs::copy_file(kLib, app.file("omvertis.DLL"));
    EXPECT_TRUE(fm::ConvertFile(app.path(), "S0001.txt", "S"));
    EXPECT_EQ(app.read(std::string("sback/S0001.txt") + fm::kConvertedCopySuffix), File(4));
    EXPECT_FALSE(StillLoaded(app.file("omvertis.DLL")));
    fm::SetProgramFolder(FM_BINARY_DIR "/bin");
    app.write("recv/12340026.201", File(1));
    EXPECT_TRUE(fm::ConvertFile(app.path(), "12340026.201", "R"));
    EXPECT_EQ(Results(app.file("recv"), "S12340026_201_").size(), 1u);
    EXPECT_FALSE(StillLoaded(kLib));
    // The library's own refusal is a false without a box.
    EXPECT_FALSE(fm::ConvertFile(app.path(), "../send/S0001.txt", "S"));
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
}

TEST_F(ConvertFile, MissingLibraryOrEntryIsReportedAndGivesFalse)
{
    const QString notFound = QStringLiteral("Omvertis.DLL을 찾을수 없습니다");
    EXPECT_FALSE(fm::ConvertFile(app.path(), "S0001.txt", "S"));
    programDir.write("Omvertis.dll", "not a library");
    EXPECT_FALSE(fm::ConvertFile(app.path(), "S0001.txt", "S"));
    // The program folder's library lacks the entry; the working folder's
    // is not tried.
    fs::copy_file(kNoEntryLib, programDir.file("Omvertis.dll"), fs::copy_options::overwrite_existing);
    fs::copy_file(kLib, app.file("Omvertis.dll"));
    EXPECT_FALSE(fm::ConvertFile(app.path(), "S0001.txt", "S"));
    EXPECT_FALSE(StillLoaded(programDir.file("Omvertis.dll")));
    EXPECT_TRUE(Entries(app.file("sback")).empty());

    ASSERT_EQ(boxes.count(), 3u);
    EXPECT_EQ(boxes.shown()[0].text, notFound);
    EXPECT_EQ(boxes.shown()[1].text, notFound);
    EXPECT_EQ(boxes.shown()[2].text, QStringLiteral("Omvertis.DLL에서 함수의 어드레스를 얻는데 실패했습니다"));
    for (const auto &box : boxes.shown()) {
        EXPECT_EQ(box.caption, fm::ApplicationTitle());
        EXPECT_EQ(box.icon, fm::MsgIcon::None);
    }
}

} // namespace
