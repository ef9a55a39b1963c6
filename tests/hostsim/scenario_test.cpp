// Scenario files: relative dates, the demo scenario, faults in a file, and
// a scenario's rules seen through a client.
#include "hostclient.h"

#include <QFile>

using namespace hstest;
using hostsim::ResolveDate;
using hostsim::Scenario;

namespace {

const QDate kToday(2025, 3, 1);

std::optional<Scenario> Load(const std::string &json, std::string *error = nullptr)
{
    std::string e;
    auto s = Scenario::fromJson(QByteArray::fromStdString(json), kToday, error ? error : &e);
    return s;
}

TEST(ScenarioDates, RelativeAndAbsolute)
{
    EXPECT_EQ(ResolveDate("today", kToday), "20250301");
    EXPECT_EQ(ResolveDate("today-1", kToday), "20250228") << "across the month";
    EXPECT_EQ(ResolveDate("today-60", kToday), "20241231") << "across the year";
    EXPECT_EQ(ResolveDate("today+31", kToday), "20250401");
    EXPECT_EQ(ResolveDate("20240229", kToday), "20240229");
    for (const char *bad : {"20230229", "2025031", "202503011", "today-", "today3", "today+-1",
                            "tomorrow", "today-1x", "", "today-99999999"})
        EXPECT_FALSE(ResolveDate(bad, kToday)) << bad;
}

TEST(ScenarioFile, DemoScenarioLoads)
{
    std::string error;
    auto s = Scenario::fromFile(FM_SOURCE_DIR "/tools/hostsim/demo-scenario.json", kToday, &error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->accounts.at("1234"), "1111");
    EXPECT_FALSE(s->loginNotice.empty());
    EXPECT_EQ(s->resultRows.size(), 30u);
    EXPECT_EQ(s->noticeRows.size(), 9u);
    for (const auto &row : s->resultRows) {
        ASSERT_EQ(row.size(), hostsim::kResultRowSize);
        EXPECT_TRUE(row[0] == 'R' || row[0] == 'S');
        EXPECT_GE(row.substr(8, 8), "20250223");
        EXPECT_LE(row.substr(8, 8), "20250301");
    }
    for (const auto &row : s->noticeRows)
        ASSERT_EQ(row.size(), hostsim::kNoticeRowSize);
    EXPECT_EQ(s->noticeRows.back().substr(0, 8), "20250301");
}

TEST(ScenarioFile, FieldsBecomeRows)
{
    auto s = Load(R"({
        "accounts": {"12": "pw", "가나": "비번"},
        "loginNotice": "공지",
        "results": [{"dir": "R", "bank": "0004", "kind": "100", "date": "today-2",
                     "start": "090000", "end": "091500", "records": 102, "seq": 7, "receptions": 3},
                    "S0011"],
        "notices": [{"date": "20250214", "time": "101500", "title": "제목", "file": "N1.TXT"}],
        "errors": [{"code": "0600100", "resp": "1 ", "times": -1}, {"resp": "AB"}],
        "answerDelayMs": 20, "refuseKeys": true, "passwordTries": 5, "closeOnLockout": false,
        "resultRowsPerBlock": 2, "noticeRowsPerBlock": 8
    })");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->accounts.at("12"), "pw");
    EXPECT_EQ(s->accounts.at(fmtest::K("가나")), fmtest::K("비번"));
    EXPECT_EQ(s->loginNotice, fmtest::K("공지"));
    ASSERT_EQ(s->resultRows.size(), 2u);
    EXPECT_EQ(s->resultRows[0], "R0004100202502270900000915000001020070003");
    EXPECT_EQ(s->resultRows[1], Pad("S0011", 41)) << "a row given as text is fitted to 41";
    ASSERT_EQ(s->noticeRows.size(), 1u);
    EXPECT_EQ(s->noticeRows[0], "20250214101500" + Pad(fmtest::K("제목"), 80) + Pad("N1.TXT", 20));
    ASSERT_EQ(s->errors.size(), 2u);
    EXPECT_EQ(s->errors[0].code, "0600100");
    EXPECT_EQ(s->errors[0].resp, "1 ");
    EXPECT_EQ(s->errors[0].times, -1);
    EXPECT_EQ(s->errors[1].code, "");
    EXPECT_EQ(s->errors[1].times, 1);
    EXPECT_EQ(s->answerDelayMs, 20);
    EXPECT_TRUE(s->refuseKeys);
    EXPECT_EQ(s->passwordTries, 5);
    EXPECT_FALSE(s->closeOnLockout);
    EXPECT_EQ(s->resultRowsPerBlock, 2);
}

TEST(ScenarioFile, FaultsAreReportedWithTheirPlace)
{
    struct Case {
        const char *json;
        const char *mentions;
    } cases[] = {
        {"[1]", "object"},
        {"{\"accounts\": ", "JSON"},
        {R"({"acounts": {}})", "acounts"},
        {R"({"accounts": {"12345": "x"}})", "12345"},
        {R"({"accounts": {"1234": 1111}})", "password of 1234"},
        {R"({"loginNotice": "😀"})", "loginNotice"},
        {R"({"resultRowsPerBlock": 24})", "resultRowsPerBlock"},
        {R"({"noticeRowsPerBlock": 9})", "noticeRowsPerBlock"},
        {R"({"results": [{"dir": "X", "bank": "0004", "kind": "100", "date": "today",
             "start": "090000", "end": "091500"}]})", "results[0].dir"},
        {R"({"results": [{"dir": "R", "bank": "0004", "kind": "100", "date": "yesterday",
             "start": "090000", "end": "091500"}]})", "results[0].date"},
        {R"({"notices": [{"date": "today", "time": "090000", "file": "a",
             "title": "제목제목제목제목제목제목제목제목제목제목제목제목제목제목제목제목제목제목제목제목제"}]})",
         "notices[0].title"},
        {R"({"errors": [{"code": "0600100", "resp": "1"}]})", "errors[0].resp"},
    };
    for (const auto &c : cases) {
        std::string error;
        EXPECT_FALSE(Load(c.json, &error)) << c.json;
        EXPECT_NE(error.find(c.mentions), std::string::npos) << c.json << " -> " << error;
    }
}

TEST(ScenarioFile, MissingFile)
{
    std::string error;
    EXPECT_FALSE(Scenario::fromFile("/nonexistent/scenario.json", kToday, &error));
    EXPECT_NE(error.find("/nonexistent/scenario.json"), std::string::npos);
}

class ScenarioRules : public HostTest {};

TEST_F(ScenarioRules, ErrorRulesAndKeyRefusalFromAScenario)
{
    auto s = Load(R"({"accounts": {"1234": "1111"},
                      "errors": [{"code": "0800100", "resp": "05", "times": 2}]})");
    ASSERT_TRUE(s);
    host.setScenario(*s);
    Client c;
    EXPECT_EQ(Resp(c.logIn(host.port(), "1234", "1111")), "05");
    c.send(Request('0', "0800100", "1234", "1111"));
    EXPECT_EQ(Resp(c.telegram()), "05");
    c.send(Request('0', "0800100", "1234", "1111"));
    EXPECT_EQ(Resp(c.telegram()), "00");

    s->refuseKeys = true;
    host.setScenario(*s);
    Client d;
    ASSERT_TRUE(d.connectTo(host.port()));
    EXPECT_EQ(d.exchangeKey(), "SERR");
}

} // namespace
