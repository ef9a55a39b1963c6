#include "common/errors.h"
#include "paradox/pxwrite.h"
#include "platform/database.h"
#include "support/testutil.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Rows = std::vector<std::vector<std::string>>;

void writeTable(const std::string &path, const Rows &rows)
{
    fm::pxwrite::WriteAlphaTable(path, "DSBBRslt", {{"BankCd", 2}, {"StdRsltCd", 4}, {"StdRsltContent", 100}}, rows);
}

Rows koreanRows()
{
    return {{"26", "0011", fmtest::K("잔액부족")},
            {"26", "0012", fmtest::K("계좌번호 오류")},
            {"11", "0011", fmtest::K("해지계좌")},
            {"99", "0000", fmtest::K("정상처리")}};
}

// Enough rows for several data blocks.
Rows manyRows(int count)
{
    Rows rows;
    for (int i = 0; i < count; ++i) {
        char code[8];
        std::snprintf(code, sizeof code, "%04d", i);
        rows.push_back({i % 2 ? "26" : "99", code, fmtest::K("사유 ") + std::to_string(i)});
    }
    return rows;
}

struct Connection {
    fm::TDatabase db;
    fm::TQuery query{db};
    explicit Connection(const std::string &folder)
    {
        db.DriverName = "STANDARD";
        db.Params = {"PATH=" + folder, "LANGDRIVER=korea"};
    }
    // The detail list's lookup, step for step.
    std::string lookup(const std::string &bank, const std::string &code)
    {
        query.Close();
        query.SQL = {"select StdRsltContent from DSBBRslt.DB ", "where BankCd = :ErrBnkCd and  StdRsltCd = :ErrCd"};
        query.ParamByName("ErrBnkCd").AsString = bank;
        query.ParamByName("ErrCd").AsString = code;
        query.Open();
        return query.FieldByName("StdRsltContent").AsString;
    }
    std::string single(const std::vector<std::string> &sql)
    {
        query.Close();
        query.SQL = sql;
        query.Open();
        return query.FieldByName("N").AsString;
    }
};

std::string errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const fm::DatabaseError &e) {
        return e.what();
    }
    return "(no DatabaseError)";
}

#define EXPECT_ERROR(call, part) EXPECT_NE(errorOf([&] { call; }).find(part), std::string::npos) << errorOf([&] { call; })

} // namespace

TEST(ParadoxQuery, TheLookupAnswersTheStoredKoreanBytes)
{
    fmtest::TempDir dir;
    writeTable(dir.file("dsbbrslt.db"), koreanRows()); // found without regard to case
    Connection c(dir.path());
    EXPECT_EQ(c.lookup("26", "0011"), fmtest::K("잔액부족"));
    EXPECT_EQ(c.lookup("26", "0012"), fmtest::K("계좌번호 오류"));
    EXPECT_EQ(c.lookup("11", "0011"), fmtest::K("해지계좌"));
    EXPECT_EQ(c.query.RecordCount(), 1);
    EXPECT_FALSE(c.query.FieldByName("StdRsltContent").IsNull);

    // No row: an empty text and no error; keys compare as text, exactly.
    EXPECT_EQ(c.lookup("12", "0011"), "");
    EXPECT_TRUE(c.query.Eof());
    EXPECT_TRUE(c.query.FieldByName("StdRsltContent").IsNull);
    EXPECT_EQ(c.lookup("26", "11"), "");
    EXPECT_EQ(c.lookup("26", "0011 "), "");
}

TEST(ParadoxQuery, DatasetNavigationOverSeveralBlocks)
{
    fmtest::TempDir dir;
    writeTable(dir.file("DSBBRslt.DB"), manyRows(300));
    Connection c(dir.path());
    EXPECT_EQ(c.single({"select count(*) as N from DSBBRslt.DB where StdRsltCd between '0000' and '0299'"}), "300");

    c.query.Close();
    c.query.SQL = {"select StdRsltCd, StdRsltContent from DSBBRslt.DB", "where BankCd = :Bank order by StdRsltCd"};
    c.query.ParamByName("bank").AsString = "26"; // parameter names ignore case
    c.query.Open();
    ASSERT_EQ(c.query.RecordCount(), 150);
    fm::TField &code = c.query.FieldByName("STDRSLTCD");
    int seen = 0;
    std::string last;
    for (; !c.query.Eof(); c.query.Next(), ++seen) last = code.AsString;
    EXPECT_EQ(seen, 150);
    EXPECT_EQ(last, "0299");
    EXPECT_EQ(c.query.FieldByName("StdRsltContent").AsString, fmtest::K("사유 299")); // stays on the last row
    c.query.First();
    EXPECT_EQ(code.AsString, "0001");
}

TEST(ParadoxQuery, MisuseIsADatabaseErrorAndTheTablesStayReadOnly)
{
    fmtest::TempDir dir;
    writeTable(dir.file("DSBBRslt.DB"), koreanRows());
    Connection c(dir.path());
    c.query.SQL = {"select StdRsltContent from DSBBRslt.DB where BankCd = :ErrBnkCd"};
    EXPECT_ERROR(c.query.ParamByName("Other"), "Parameter 'Other' not found");
    EXPECT_ERROR(c.query.Open(), "No value for parameter 'ErrBnkCd'");
    c.query.ParamByName("ErrBnkCd").AsString = "26";
    c.query.Open();
    EXPECT_ERROR(c.query.FieldByName("Nope"), "Field 'Nope' not found");
    c.query.Close();
    EXPECT_ERROR(c.query.RecordCount(), "closed dataset");

    for (const std::string &sql : {std::string(), std::string("selec 1"), std::string("select Missing from DSBBRslt.DB"),
                                   std::string("delete from DSBBRslt.DB"), std::string("select 1; select 2"),
                                   "attach database '" + dir.file("x.sqlite") + "' as x",
                                   std::string("pragma table_info(\"DB\")")}) {
        c.query.Close();
        c.query.SQL = {sql};
        EXPECT_NE(errorOf([&] { c.query.Open(); }), "(no DatabaseError)") << sql;
        EXPECT_FALSE(c.query.Active());
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.sqlite")));
    EXPECT_EQ(c.lookup("26", "0011"), fmtest::K("잔액부족"));
}

TEST(ParadoxConnection, OpenChecksDriverAndFolderButNotTheTables)
{
    fmtest::TempDir dir;
    dir.write("plain.txt", "x");
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"PARADOX", "PATH=" + dir.path(), "driver"},
        {"STANDARD", "LANGDRIVER=korea", "not set"},
        {"STANDARD", "PATH=" + dir.path() + "/missing", "does not exist"},
        {"STANDARD", "PATH=" + dir.file("plain.txt"), "not a folder"},
    };
    for (const auto &[driver, param, expected] : cases) {
        fm::TDatabase db;
        db.DriverName = driver;
        db.Params = {param};
        EXPECT_ERROR(db.Open(), expected);
        EXPECT_FALSE(db.Connected());
    }

    // A folder deleted while it is the current one.
    const std::string gone = dir.file("gone");
    std::filesystem::create_directory(gone);
    const std::string here = std::filesystem::current_path();
    ASSERT_EQ(::chdir(gone.c_str()), 0);
    ASSERT_EQ(::rmdir(gone.c_str()), 0);
    fm::TDatabase removed;
    removed.DriverName = "STANDARD";
    removed.Params = {"PATH=."};
    const std::string err = errorOf([&] { removed.Open(); });
    ASSERT_EQ(::chdir(here.c_str()), 0);
    EXPECT_NE(err.find("removed"), std::string::npos) << err;

    // Without the table the folder is fine; the first query fails.
    Connection c(dir.path());
    EXPECT_NO_THROW(c.db.Open());
    EXPECT_ERROR(c.lookup("26", "0011"), "Table does not exist.\nTable: DSBBRslt.DB");
    EXPECT_TRUE(c.db.Connected());
}

TEST(ParadoxConnection, AQueryReconnectsAClosedConnection)
{
    fmtest::TempDir dir;
    writeTable(dir.file("DSBBRslt.DB"), koreanRows());
    Connection c(dir.path());
    EXPECT_EQ(c.lookup("26", "0011"), fmtest::K("잔액부족")); // connects on its own
    EXPECT_TRUE(c.db.Connected());
    c.db.Close(); // closes its queries too
    EXPECT_FALSE(c.query.Active());
    EXPECT_EQ(c.lookup("11", "0011"), fmtest::K("해지계좌"));

    // A cause that persists fails every query with the layer's error.
    c.db.Close();
    c.db.Params = {"PATH=" + dir.path() + "/nowhere"};
    EXPECT_ERROR(c.lookup("26", "0011"), "does not exist");
    EXPECT_ERROR(c.lookup("26", "0011"), "does not exist");
    EXPECT_FALSE(c.db.Connected());
}

TEST(ParadoxConnection, AChangedTableIsReadAgain)
{
    fmtest::TempDir dir;
    const std::string file = dir.file("DSBBRslt.DB");
    writeTable(file, koreanRows());
    Connection c(dir.path());
    EXPECT_EQ(c.lookup("26", "0011"), fmtest::K("잔액부족"));

    Rows rows = koreanRows();
    rows.push_back({"12", "0011", fmtest::K("새 사유")}); // another size
    writeTable(file, rows);
    EXPECT_EQ(c.lookup("12", "0011"), fmtest::K("새 사유"));

    rows.back()[2] = fmtest::K("새 내용"); // the same size, another time
    writeTable(file, rows);
    timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_EQ(c.lookup("12", "0011"), fmtest::K("새 내용"));

    std::filesystem::remove(file); // no answer from the old copy
    EXPECT_ERROR(c.lookup("26", "0011"), "Table does not exist");
    dir.write("DSBBRslt.DB", std::string(3000, 'x'));
    EXPECT_ERROR(c.lookup("26", "0011"), "DSBBRslt.DB");
    writeTable(file, koreanRows());
    EXPECT_EQ(c.lookup("26", "0011"), fmtest::K("잔액부족"));
}

TEST(ParadoxTable, DamagedFilesFailWithAnErrorNamingTheTable)
{
    fmtest::TempDir source;
    writeTable(source.file("good.DB"), manyRows(200));
    const std::string good = source.read("good.DB");
    const size_t header = 0x800, block = 3 * 0x400; // as the writer lays them out
    ASSERT_EQ(good.size() % block, header % block);

    std::vector<std::pair<std::string, std::string>> variants = {{"empty", ""}, {"text", std::string(5000, 'a')}};
    for (size_t cut : {size_t(1), size_t(0x57), size_t(0x100), header - 1, header, header + 100, header + block,
                       good.size() - 1})
        variants.emplace_back("cut at " + std::to_string(cut), good.substr(0, cut));
    std::mt19937 rng(7);
    for (int i = 1; i <= 3; ++i) {
        std::string noise(4096 * i, '\0');
        for (char &ch : noise) ch = static_cast<char>(rng());
        variants.emplace_back("noise", noise);
    }
    // Header values out of reason: {what, offset, bytes, value}.
    const std::vector<std::tuple<const char *, size_t, int, uint32_t>> patches = {
        {"record size 0", 0x00, 2, 0},           {"record size 65535", 0x00, 2, 0xFFFF},
        {"header size 65535", 0x02, 2, 0xFFFF},  {"header size 16", 0x02, 2, 0x10},
        {"index file", 0x04, 1, 1},              {"block size 0", 0x05, 1, 0},
        {"block size 200", 0x05, 1, 200},        {"2^31-1 records", 0x06, 4, 0x7FFFFFFF},
        {"2^32-1 records", 0x06, 4, 0xFFFFFFFF}, {"one record more", 0x06, 4, 201},
        {"65535 blocks", 0x0C, 2, 0xFFFF},       {"first block far", 0x0E, 2, 0x7777},
        {"no fields", 0x21, 2, 0},               {"65535 fields", 0x21, 2, 0xFFFF},
        {"password (old place)", 0x25, 4, 0x12345678}, {"password (new place)", 0x5C, 4, 0x12345678},
        {"version 99", 0x39, 1, 99},             {"field width 0", 0x79, 1, 0},
        {"field type 0x55", 0x78, 1, 0x55},      {"blocks in a circle", header, 2, 1},
        {"block past the file", header, 2, 0xFFF0}, {"block overfull", header + 4, 2, 0x7FFF},
        {"record offset uneven", header + 4, 2, 7},
    };
    for (const auto &[what, at, bytes, value] : patches) {
        std::string b = good;
        for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        variants.emplace_back(what, b);
    }
    std::string unended = good; // field names without their end
    std::fill(unended.begin() + 0x190, unended.begin() + header, 'A');
    variants.emplace_back("names without end", unended);

    for (const auto &[name, bytes] : variants) {
        fmtest::TempDir dir;
        dir.write("DSBBRslt.DB", bytes);
        Connection c(dir.path());
        EXPECT_ERROR(c.lookup("26", "0011"), "Table: DSBBRslt.DB") << name;
        EXPECT_FALSE(c.query.Active()) << name;
    }
}

TEST(ParadoxTable, RandomDamageNeverCrashes)
{
    fmtest::TempDir source;
    writeTable(source.file("good.DB"), manyRows(120));
    const std::string good = source.read("good.DB");
    std::mt19937 rng(20240607);
    int failed = 0;
    for (int round = 0; round < 400; ++round) {
        std::string b = good;
        for (int f = 1 + static_cast<int>(rng() % 6); f > 0; --f)
            b[rng() % 10 < 7 ? rng() % 0x200 : rng() % b.size()] = static_cast<char>(rng());
        if (rng() % 8 == 0) b.resize(rng() % b.size());
        fmtest::TempDir dir;
        dir.write("DSBBRslt.DB", b);
        Connection c(dir.path());
        try {
            c.lookup("26", "0011");
            c.single({"select count(*) as N from DSBBRslt.DB"});
        } catch (const fm::DatabaseError &e) {
            // A damaged field name shows up as a statement naming an unknown column.
            ++failed;
            const std::string what = e.what();
            EXPECT_TRUE(what.find("DSBBRslt.DB") != std::string::npos || what.find("no such column") != std::string::npos)
                << what;
        }
    }
    EXPECT_GT(failed, 0);
}

TEST(ParadoxWriter, RefusesWhatDoesNotFitAndFeedsTheDemoTable)
{
    fmtest::TempDir dir;
    const std::string file = dir.file("T.DB");
    EXPECT_THROW(writeTable(file, {{"26", "0011"}}), std::runtime_error);
    EXPECT_THROW(writeTable(file, {{"260", "0011", "x"}}), std::runtime_error);
    EXPECT_THROW(writeTable(file, {{"26", std::string("00\0" "1", 4), "x"}}), std::runtime_error);
    EXPECT_THROW(fm::pxwrite::WriteAlphaTable(file, "T", {{"A", 300}}, {}), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(file));

    // The demo rows through mkresulttable; an empty value reads as null.
    const std::string tool = std::string(FM_BINARY_DIR) + "/bin/mkresulttable";
    const std::string demo = std::string(FM_SOURCE_DIR) + "/tools/paradox/demo-result-codes.tsv";
    ASSERT_EQ(std::system((tool + " " + demo + " " + dir.path() + " > /dev/null").c_str()), 0);
    Connection c(dir.path());
    EXPECT_EQ(c.lookup("26", "0011"), fmtest::K("잔액부족"));
    EXPECT_EQ(c.single({"select count(distinct BankCd) as N from DSBBRslt.DB where BankCd in ('26','11','12','99')"}),
              "4");
    fm::pxwrite::WriteAlphaTable(dir.file("E.DB"), "E", {{"A", 2}, {"B", 2}}, {{"x", ""}});
    EXPECT_EQ(c.single({"select count(*) as N from E.DB where B is null"}), "1");

    dir.write("bad.tsv", "26\t0011\t" + std::string(101, 'x') + "\n");
    EXPECT_NE(std::system((tool + " " + dir.file("bad.tsv") + " " + dir.file("bad.DB") + " 2> /dev/null").c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("bad.DB")));
}
