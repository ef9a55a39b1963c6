#include "common/errors.h"
#include "paradox/pxwrite.h"
#include "platform/paths.h"
#include "shell/DMModule.h"
#include "support/testutil.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char *const kFolders[] = {"data", "databack", "send", "recv", "sback", "gong"};

// Runs the test inside `path` and goes back afterwards.
class InFolder {
public:
    explicit InFolder(const std::string &path)
    {
        char buf[4096];
        if (::getcwd(buf, sizeof buf)) saved_ = buf;
        ok_ = ::chdir(path.c_str()) == 0;
    }
    ~InFolder()
    {
        if (!saved_.empty() && ::chdir(saved_.c_str()) != 0) std::perror("chdir back");
    }
    bool ok() const { return ok_; }

private:
    std::string saved_;
    bool ok_ = false;
};

// The folders created directly in `dir`, in the order they were created.
class CreationLog {
public:
    explicit CreationLog(const std::string &dir)
    {
        fd_ = ::inotify_init1(IN_NONBLOCK);
        if (fd_ >= 0) ::inotify_add_watch(fd_, dir.c_str(), IN_CREATE);
    }
    ~CreationLog()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    std::vector<std::string> folders()
    {
        std::vector<std::string> out;
        alignas(inotify_event) char buf[8192];
        for (;;) {
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) break;
            for (ssize_t i = 0; i < n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(buf + i);
                if ((e->mask & IN_ISDIR) && e->len) out.emplace_back(e->name);
                i += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
        return out;
    }

private:
    int fd_ = -1;
};

bool isFolder(const std::string &p)
{
    struct stat st{};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void writeResultTable(const std::string &path)
{
    fm::pxwrite::WriteAlphaTable(path, "DSBBRslt", {{"BankCd", 2}, {"StdRsltCd", 4}, {"StdRsltContent", 100}},
                                 {{"26", "0011", fmtest::K("잔액부족")},
                                  {"99", "0000", fmtest::K("정상처리")},
                                  {"12", "0013", fmtest::K("해지계좌")}});
}

// The detail list's reason lookup, as it runs it.
std::string reason(fm::TDMLib &m, const std::string &bank, const std::string &code)
{
    m.qryErrCd1.Close();
    m.qryErrCd1.SQL = {"select StdRsltContent from DSBBRslt.DB ", "where BankCd = :ErrBnkCd and  StdRsltCd = :ErrCd"};
    m.qryErrCd1.ParamByName("ErrBnkCd").AsString = bank;
    m.qryErrCd1.ParamByName("ErrCd").AsString = code;
    m.qryErrCd1.Open();
    return m.qryErrCd1.FieldByName("StdRsltContent").AsString;
}

const char *const kDbBoxText = "데이터에 문제가 발생하였습니다\r\n지금즉시 Dunmerrow(주) Telquist 으로 연락주세요!";

} // namespace

TEST(DataModule, CreatesTheMissingFoldersInOrderAndPassesOverAFile)
{
    fmtest::TempDir dir;
    fmtest::ScriptedBoxes boxes;
    const std::string real = std::filesystem::canonical(dir.path()).string();
    dir.write("send", "not a folder");
    CreationLog log(real);
    ASSERT_TRUE(log.ok());
    InFolder in(real);
    ASSERT_TRUE(in.ok());
    {
        fm::TDMLib m;
        EXPECT_EQ(m.AppDir, real);
        EXPECT_EQ(log.folders(), (std::vector<std::string>{"data", "databack", "recv", "sback", "gong"}));
        EXPECT_EQ(dir.read("send"), "not a folder");
        EXPECT_TRUE(m.DBErrCd1.Connected()); // no table yet: the connection is fine
        EXPECT_EQ(m.DBErrCd1.DriverName, "STANDARD");
        EXPECT_EQ(m.DBErrCd1.Params, (std::vector<std::string>{"PATH=" + real, "LANGDRIVER=korea"}));
    }
    // Only the missing one is made; a folder in another spelling counts.
    std::filesystem::remove(real + "/send");
    std::filesystem::rename(real + "/gong", real + "/Gong");
    log.folders();
    { fm::TDMLib m; }
    EXPECT_EQ(log.folders(), std::vector<std::string>{"send"});
    { fm::TDMLib m; }
    EXPECT_TRUE(log.folders().empty());
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
}

TEST(DataModule, WorksWithTheRootAsWorkingFolder)
{
    // The root of a private file tree: the child process makes the temporary
    // folder its root, so nothing is created in the machine's own root.
    fmtest::TempDir dir;
    fmtest::ScriptedBoxes boxes;
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::chroot(dir.path().c_str()) != 0 || ::chdir("/") != 0) ::_exit(77);
        fm::TDMLib m;
        int faults = 0;
        if (m.AppDir != "/") faults |= 1;
        if (!m.DBErrCd1.Connected()) faults |= 2;
        // Paths built from the root hold two separators in a row and work.
        if (fm::NativePath(m.AppDir + "\\Data\\") != "/data/" || !fm::FolderExists(m.AppDir + "\\SBack")) faults |= 4;
        if (boxes.count() != 0) faults |= 8;
        ::_exit(faults);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no right to change the root folder";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "fault bits";
    for (const char *name : kFolders) EXPECT_TRUE(isFolder(dir.file(name))) << name;
}

TEST(DataModule, AnUnusableFolderShowsTheDatabaseBoxOnceAndStartsAnyway)
{
    fmtest::TempDir dir;
    fmtest::ScriptedBoxes boxes;
    const std::string gone = dir.file("gone");
    std::filesystem::create_directory(gone);
    InFolder in(gone);
    ASSERT_TRUE(in.ok());
    ASSERT_EQ(::rmdir(gone.c_str()), 0); // the working folder no longer exists

    fm::TDMLib m;
    ASSERT_EQ(boxes.count(), 1u) << boxes.texts();
    EXPECT_EQ(boxes.last().text, QString::fromUtf8(kDbBoxText));
    EXPECT_EQ(boxes.last().caption, QString::fromUtf8("데이터베이스"));
    EXPECT_EQ(boxes.last().icon, fm::MsgIcon::Error);
    EXPECT_EQ(boxes.last().buttons, fm::MsgButtons::Ok);
    EXPECT_FALSE(m.DBErrCd1.Connected());
    // The connection keeps its settings; a later lookup tries again and fails
    // with the database layer's own error.
    EXPECT_EQ(m.DBErrCd1.DriverName, "STANDARD");
    ASSERT_EQ(m.DBErrCd1.Params.size(), 2u);
    EXPECT_EQ(m.DBErrCd1.Params[0], "PATH=" + m.AppDir);
    EXPECT_EQ(m.DBErrCd1.Params[1], "LANGDRIVER=korea");
    EXPECT_THROW(reason(m, "26", "0011"), fm::DatabaseError);
    EXPECT_FALSE(m.DBErrCd1.Connected());
    EXPECT_EQ(boxes.count(), 1u);
}

TEST(DataModule, TheLookupAnswersFromTheTableInTheWorkingFolder)
{
    fmtest::TempDir dir;
    fmtest::ScriptedBoxes boxes;
    InFolder in(dir.path());
    ASSERT_TRUE(in.ok());
    fm::TDMLib m;
    // Not installed: the start is fine, the first lookup fails.
    try {
        reason(m, "26", "0011");
        ADD_FAILURE() << "the lookup should fail";
    } catch (const fm::DatabaseError &e) {
        EXPECT_NE(std::string(e.what()).find("DSBBRslt.DB"), std::string::npos) << e.what();
    }
    writeResultTable(dir.file("DSBBRslt.DB"));
    EXPECT_EQ(reason(m, "26", "0011"), fmtest::K("잔액부족"));
    EXPECT_EQ(reason(m, "99", "0000"), fmtest::K("정상처리"));
    EXPECT_EQ(reason(m, "12", "0011"), ""); // no row, no error
    EXPECT_TRUE(m.qryErrCd1.Active());      // stays open until the next lookup

    // A closed connection is opened again by the next lookup.
    m.DBErrCd1.Close();
    EXPECT_FALSE(m.qryErrCd1.Active());
    EXPECT_EQ(reason(m, "12", "0013"), fmtest::K("해지계좌"));
    EXPECT_TRUE(m.DBErrCd1.Connected());
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
}
