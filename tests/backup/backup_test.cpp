#include "shell/Backup.h"
#include "support/testutil.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <tuple>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;

// Every entry of an archive (raw name -> content); `methods` gets each
// entry's compression method.
Files ReadArchive(const std::string &path, std::map<std::string, int> *methods = nullptr)
{
    Files out;
    int err = 0;
    zip_t *za = zip_open(path.c_str(), ZIP_RDONLY, &err);
    if (!za) ADD_FAILURE() << "cannot open " << path;
    for (zip_int64_t i = 0; za && i < zip_get_num_entries(za, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(za, i, ZIP_FL_ENC_RAW, &st);
        std::string data(st.size, '\0');
        zip_file_t *f = zip_fopen_index(za, i, 0);
        EXPECT_EQ(f ? zip_fread(f, data.data(), data.size()) : -1, static_cast<zip_int64_t>(data.size()));
        if (f) zip_fclose(f);
        EXPECT_EQ(out.count(st.name), 0u) << "entry twice: " << st.name;
        out[st.name] = data;
        if (methods) (*methods)[st.name] = st.comp_method;
    }
    if (za) zip_discard(za);
    return out;
}

void MakeArchive(const std::string &path, const std::vector<std::pair<std::string, std::string>> &entries,
                 int method = ZIP_CM_DEFLATE)
{
    int err = 0;
    zip_t *za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_NE(za, nullptr);
    for (const auto &[name, data] : entries) {
        zip_int64_t idx = zip_file_add(za, name.c_str(), zip_source_buffer(za, data.data(), data.size(), 0), 0);
        ASSERT_GE(idx, 0) << name;
        zip_set_file_compression(za, idx, method, 0);
    }
    ASSERT_EQ(zip_close(za), 0) << zip_strerror(za);
}

// Every file and folder below `folder`, relative name -> content.
Files Snapshot(const std::string &folder)
{
    Files out;
    for (const auto &e : fs::recursive_directory_iterator(folder)) {
        std::ifstream f(e.path(), std::ios::binary);
        out[fs::relative(e.path(), folder).string()] =
            e.is_regular_file() ? std::string(std::istreambuf_iterator<char>(f), {}) : "<dir>";
    }
    return out;
}

// A working folder laid out as the data module creates it.
class BackupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir.file("app/data"));
        fs::create_directories(dir.file("app/databack"));
    }
    std::string app() const { return dir.file("app"); }
    std::string archive() const { return dir.file("app/databack/DataBackup.zip"); }
    void data(const std::string &name, const std::string &bytes) const { dir.write("app/data/" + name, bytes); }
    // The last box shown, as "caption/text/icon".
    void expectLast(const char *caption, const char *text, fm::MsgIcon icon) const
    {
        ASSERT_GT(boxes.count(), 0u);
        EXPECT_EQ(boxes.last().caption.toStdString() + "/" + boxes.last().text.toStdString(),
                  std::string(caption) + "/" + text) << boxes.texts();
        EXPECT_EQ(boxes.last().icon, icon);
    }
    void expectBackupOk() const { expectLast("백업완료", "데이터가 성공적으로 백업되었습니다.", fm::MsgIcon::Information); }
    void expectRestoreOk() const { expectLast("복구완료", "데이터가 성공적으로 복구되었습니다.", fm::MsgIcon::Information); }
    void expectRestoreFail() const { expectLast("복구실패", "데이터가 복구되지 않았습니다.", fm::MsgIcon::Error); }

    fmtest::TempDir dir;
    fmtest::ScriptedBoxes boxes;
};

} // namespace

TEST(EntryName, FolderPartsAreDroppedAndEscapesRefused)
{
    using K = fm::EntryTarget;
    const std::vector<std::tuple<std::string, K::Kind, std::string>> cases = {
        {"a.txt", K::File, "a.txt"}, {"a/b.txt", K::File, "b.txt"}, {"../x", K::File, "x"},
        {"..\\x", K::File, "x"},     {"a\\..\\../y", K::File, "y"}, {"C:x", K::File, "C:x"},
        {"dir/", K::Folder, ""},     {"dir\\", K::Folder, ""},      {"/etc/x", K::Refused, ""},
        {"\\x", K::Refused, ""},     {"C:\\x", K::Refused, ""},     {"c:/x", K::Refused, ""},
        {"..", K::Refused, ""},      {"a/..", K::Refused, ""},      {"", K::Refused, ""}};
    for (const auto &[name, kind, base] : cases) {
        const fm::EntryTarget t = fm::ClassifyEntryName(name);
        EXPECT_EQ(t.kind, kind) << name;
        EXPECT_EQ(t.name, base) << name;
    }
}

TEST(StoredSuffix, TheSeventeenPackedSuffixesInAnyCase)
{
    for (std::string s : {"gif", "png", "z", "zip", "zoo", "arc", "lzh", "arj", "taz", "tgz", "lha", "rar",
                          "ace", "cab", "gz", "gzip", "jar"}) {
        EXPECT_TRUE(fm::StoredWithoutCompression("f." + s)) << s;
        for (char &c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        EXPECT_TRUE(fm::StoredWithoutCompression("F." + s)) << s;
    }
    EXPECT_TRUE(fm::StoredWithoutCompression("a.tar.gz"));
    for (const char *s : {"a.txt", "gif", "a.gifx", "a.gif.txt", "a.", "a.7z", "agz"})
        EXPECT_FALSE(fm::StoredWithoutCompression(s)) << s;
}

TEST_F(BackupTest, EmptyDataFolderReportsSuccessAndLeavesTheArchiveAlone)
{
    fm::DataBackup(app());
    expectBackupOk();
    EXPECT_FALSE(fs::exists(archive()));

    MakeArchive(archive(), {{"old.txt", "old"}});
    const std::string before = dir.read("app/databack/DataBackup.zip");
    fm::DataBackup(app());
    expectBackupOk();
    EXPECT_EQ(dir.read("app/databack/DataBackup.zip"), before);
}

TEST_F(BackupTest, OnlyFilesDirectlyInTheFolderAreArchivedHiddenAndReadOnlyIncluded)
{
    data("top.txt", "top");
    data(".hidden", "h");
    data("ro.txt", "ro");
    fs::permissions(dir.file("app/data/ro.txt"), fs::perms::owner_read);
    fs::create_directories(dir.file("app/data/sub"));
    dir.write("app/data/sub/inner.txt", "inner");
    ASSERT_EQ(mkfifo(dir.file("app/data/pipe").c_str(), 0600), 0); // would block a reader
    fs::create_directory_symlink(dir.file("app/data/sub"), dir.file("app/data/linkdir"));

    fm::DataBackup(app());
    expectBackupOk();
    EXPECT_EQ(ReadArchive(archive()), (Files{{"top.txt", "top"}, {".hidden", "h"}, {"ro.txt", "ro"}}));
}

TEST_F(BackupTest, SecondBackupReplacesEntriesAndKeepsThoseOfRemovedFiles)
{
    data("a.txt", "first a");
    data("b.txt", "first b");
    fm::DataBackup(app());
    data("a.txt", "second a, longer than before");
    fs::remove(dir.file("app/data/b.txt"));
    data("c.txt", "new c");
    fm::DataBackup(app());
    expectBackupOk();

    EXPECT_EQ(ReadArchive(archive()),
              (Files{{"a.txt", "second a, longer than before"}, {"b.txt", "first b"}, {"c.txt", "new c"}}));
}

TEST_F(BackupTest, PackedSuffixesAreStoredAndOthersDeflated)
{
    const std::string text(4000, 'x');
    for (const char *name : {"photo.gif", "PHOTO.GIF", "pack.Zip", "notes.txt", "noext"}) data(name, text);
    fm::DataBackup(app());
    expectBackupOk();

    std::map<std::string, int> methods;
    for (const auto &[name, content] : ReadArchive(archive(), &methods)) EXPECT_EQ(content, text) << name;
    EXPECT_EQ(methods, (std::map<std::string, int>{{"photo.gif", ZIP_CM_STORE}, {"PHOTO.GIF", ZIP_CM_STORE},
                                                    {"pack.Zip", ZIP_CM_STORE}, {"notes.txt", ZIP_CM_DEFLATE},
                                                    {"noext", ZIP_CM_DEFLATE}}));
}

TEST_F(BackupTest, BackupFailuresShowTheFailureBoxAndKeepTheArchive)
{
    data("a.txt", "a");
    dir.write("app/databack/DataBackup.zip", "this is not a zip archive at all");
    fm::DataBackup(app());
    expectLast("백업실패", "데이터가 백업되지 않았습니다.", fm::MsgIcon::Error);
    EXPECT_EQ(dir.read("app/databack/DataBackup.zip"), "this is not a zip archive at all");

    fs::remove_all(dir.file("app/databack"));
    boxes.clear();
    fm::DataBackup(app());
    expectLast("백업실패", "데이터가 백업되지 않았습니다.", fm::MsgIcon::Error);
}

TEST_F(BackupTest, RestoreWithoutUsableArchiveAsksNothing)
{
    auto check = [&](const char *why) {
        SCOPED_TRACE(why);
        fm::DataRestore(app());
        EXPECT_EQ(boxes.count(), 1u); // no question
        expectLast("오류", "복구할 파일이 없습니다.", fm::MsgIcon::Error);
        boxes.clear();
    };
    data("keep.txt", "keep");
    check("missing");
    dir.write("app/databack/DataBackup.zip", "");
    check("zero length");
    dir.write("app/databack/DataBackup.zip", std::string("PK\x03\x04 broken", 11));
    check("damaged");
    EXPECT_EQ(dir.read("app/data/keep.txt"), "keep");
}

TEST_F(BackupTest, RestoreAnsweredNoChangesNothingYesOverwritesKnownFilesAndKeepsOthers)
{
    data("A.TXT", "current a");
    data("unknown.txt", "mine");
    MakeArchive(archive(), {{"a.txt", "archived a"}, {"gone.txt", "came back"}});
    const Files before = Snapshot(dir.file("app/data"));

    boxes.answer(fm::mrNo);
    fm::DataRestore(app());
    ASSERT_EQ(boxes.count(), 1u) << boxes.texts();
    expectLast("확인", "데이터를 복구하면 기존에 존재하던 데이터가 삭제될 수 있습니다.\r\n데이터를 복구하시겠습니까?",
               fm::MsgIcon::Question);
    EXPECT_EQ(boxes.last().buttons, fm::MsgButtons::YesNo);
    EXPECT_EQ(Snapshot(dir.file("app/data")), before);

    boxes.clear();
    fm::DataRestore(app()); // answered Yes
    EXPECT_EQ(boxes.count(), 2u);
    expectRestoreOk();
    // The file of the same name in another letter case is the one replaced.
    EXPECT_EQ(Snapshot(dir.file("app/data")),
              (Files{{"A.TXT", "archived a"}, {"unknown.txt", "mine"}, {"gone.txt", "came back"}}));
}

TEST_F(BackupTest, MaliciousEntryNamesStayInsideTheDataFolder)
{
    fs::create_directories(dir.file("outside"));
    const std::string absolute = dir.file("outside/abs.txt");
    MakeArchive(archive(), {{"../x", "dotdot"}, {"..\\y", "backslash"}, {absolute, "absolute"},
                            {"a/b.txt", "nested"}, {"folder/", ""}, {"ok.txt", "ok"}});

    fm::DataRestore(app());
    // The refused absolute name fails the restore; the rest is written flat.
    expectRestoreFail();
    EXPECT_TRUE(fs::is_empty(dir.file("outside")));
    EXPECT_FALSE(fs::exists(dir.file("app/x")));
    EXPECT_EQ(Snapshot(dir.file("app/data")),
              (Files{{"x", "dotdot"}, {"y", "backslash"}, {"b.txt", "nested"}, {"ok.txt", "ok"}}));
}

TEST_F(BackupTest, DamagedEntryLeavesTheExistingFileIntact)
{
    data("good.txt", "original good");
    const std::string payload = "REPLACEMENT-CONTENT-THAT-WILL-BE-DAMAGED";
    MakeArchive(archive(), {{"first.txt", "first"}, {"good.txt", payload}, {"last.txt", "last"}}, ZIP_CM_STORE);
    std::string bytes = dir.read("app/databack/DataBackup.zip");
    const size_t at = bytes.find(payload);
    ASSERT_NE(at, std::string::npos);
    bytes[at + 5] ^= 0x20; // the CRC no longer matches
    dir.write("app/databack/DataBackup.zip", bytes);

    fm::DataRestore(app());
    expectRestoreFail();
    // No half-written file and no temporary file left behind.
    EXPECT_EQ(Snapshot(dir.file("app/data")),
              (Files{{"good.txt", "original good"}, {"first.txt", "first"}, {"last.txt", "last"}}));
}

// Also: a data folder removed since start-up is made again by the restore.
TEST_F(BackupTest, RoundTripKeepsNameBytesAndContent)
{
    const std::string korean = fmtest::K("자료목록.txt"); // CP949 bytes as the name
    const std::string binary("\0\x01\xff\x80 data\r\n", 11);
    data(korean, binary);
    data("utf8-이름.dat", "u");
    fm::DataBackup(app());
    expectBackupOk();

    fs::remove_all(dir.file("app/data"));
    fm::DataRestore(app());
    expectRestoreOk();
    EXPECT_EQ(Snapshot(dir.file("app/data")), (Files{{korean, binary}, {"utf8-이름.dat", "u"}}));
}

// Makes the archive's central directory claim `size` bytes (uncompressed)
// for each entry named in `names`; nothing that large is really stored.
static void ClaimSizes(const fmtest::TempDir &dir, const std::string &path,
                       const std::vector<std::string> &names, uint32_t size)
{
    std::string bytes = dir.read(path);
    for (const std::string &n : names) {
        const size_t name = bytes.rfind(n);
        const size_t rec = bytes.rfind(std::string("PK\x01\x02", 4), name);
        ASSERT_TRUE(name != std::string::npos && rec != std::string::npos && name - rec == 46) << n;
        for (int i = 0; i < 4; ++i) bytes[rec + 24 + i] = static_cast<char>(size >> (8 * i)); // little-endian
    }
    dir.write(path, bytes);
}

// A restore fails before it writes anything, even the small entry before the
// others, when the archive claims 2 GiB for one entry (more than a restore
// writes), or 1 GiB less a byte for each of five (each within the limit, all
// together over it).
TEST_F(BackupTest, OversizedEntryOrTotalFailsTheRestoreWithNothingWritten)
{
    data("big.dat", "current");
    MakeArchive(archive(), {{"small.txt", "small"}, {"big.dat", std::string(4096, '\0')}});
    ClaimSizes(dir, "app/databack/DataBackup.zip", {"big.dat"}, 0x80000000u);
    ASSERT_GT(0x80000000ULL, fm::kMaxRestoreEntrySize);

    const Files before = Snapshot(dir.file("app/data"));
    fm::DataRestore(app());
    expectRestoreFail();
    EXPECT_EQ(Snapshot(dir.file("app/data")), before);

    std::vector<std::pair<std::string, std::string>> entries{{"small.txt", "small"}};
    std::vector<std::string> parts;
    for (char c = '1'; c <= '5'; ++c) {
        parts.push_back(std::string("part") + c + ".dat");
        entries.emplace_back(parts.back(), std::string(4096, '\0'));
    }
    MakeArchive(archive(), entries);
    const uint32_t each = (1u << 30) - 1;
    ClaimSizes(dir, "app/databack/DataBackup.zip", parts, each);
    ASSERT_LE(each, fm::kMaxRestoreEntrySize);
    ASSERT_GT(5ULL * each, fm::kMaxRestoreTotalSize);

    boxes.clear();
    fm::DataRestore(app());
    expectRestoreFail();
    EXPECT_EQ(Snapshot(dir.file("app/data")), before);

    // An entry that holds less than it claims is cut off: it does not
    // replace the file it would.
    MakeArchive(archive(), {{"big.dat", std::string(4096, 'x')}});
    ClaimSizes(dir, "app/databack/DataBackup.zip", {"big.dat"}, 8192);
    boxes.clear();
    fm::DataRestore(app());
    expectRestoreFail();
    EXPECT_EQ(Snapshot(dir.file("app/data")), before);
}

// A restore killed halfway leaves its temporary file: the next backup (or
// restore) removes it, and no backup ever packs one, not even one of a
// restore still running in another process. Files of the user's with
// names alike are packed and stay.
TEST_F(BackupTest, RestoreTemporaryFilesAreNeverPackedAndStaleOnesGo)
{
    const std::string dead = ".fennimarch-restore-2147483600-0.part"; // no such process
    const std::string live = ".fennimarch-restore-" + std::to_string(::getpid()) + "-3.part";
    ASSERT_TRUE(fm::IsRestoreTempName(dead) && fm::IsRestoreTempName(live));
    data(dead, "half written");
    data(live, "being written");
    const Files users{{".restore.Ab12Cd", "the user's own"},
                      {".restore.notes", "the user's own"},
                      {".fennimarch-restore-2147483600.0.part", "the user's own"},
                      {"real.db", "data"}};
    for (const auto &[name, content] : users) data(name, content);

    fm::DataBackup(app());
    expectBackupOk();
    EXPECT_EQ(ReadArchive(archive()), users);
    Files after = users;
    after[live] = "being written";
    EXPECT_EQ(Snapshot(dir.file("app/data")), after);

    data(dead, "half written");
    boxes.clear();
    fm::DataRestore(app());
    expectRestoreOk();
    EXPECT_FALSE(fs::exists(dir.file("app/data/" + dead)));
}
