// What the simulated host knows and how it behaves: accounts, the notice
// shown at log-in, the result-list and notice-list rows, block sizes and
// error answers on demand. Built in code or read from a JSON file
// (README.md describes the format).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QDate>
#include <QString>

namespace hostsim {

constexpr size_t kResultRowSize = 41;
constexpr size_t kNoticeRowSize = 114;

// "Answer the next telegram with this code with this answer code."
struct ErrorRule {
    std::string code; // telegram code it applies to; empty: any telegram
    std::string resp; // the two bytes put into the answer's RespCode
    int times = 1;    // how many telegrams it answers; below 0: every one
};

struct Scenario {
    // Company code -> password (CP949 bytes, as typed by the school).
    std::map<std::string, std::string> accounts;
    // Notice text sent with the log-in answer (CP949, at most 960 bytes);
    // empty: the answer's data part is blank.
    std::string loginNotice;
    // Rows of the result list (41 bytes each) and of the notice list (114
    // bytes each), in the order they are sent.
    std::vector<std::string> resultRows;
    std::vector<std::string> noticeRows;
    int resultRowsPerBlock = 23;
    int noticeRowsPerBlock = 8;
    // Wrong passwords on one connection before the host answers 15.
    int passwordTries = 3;
    // Close the connection after the answer 15.
    bool closeOnLockout = true;
    // Refuse every key block ("ERR").
    bool refuseKeys = false;
    // Delay of every frame the host sends, in milliseconds.
    int answerDelayMs = 0;
    std::vector<ErrorRule> errors;

    // Reads a scenario. Relative dates ("today", "today-3", "today+1") are
    // taken from `today`. On a fault returns nothing and describes it.
    static std::optional<Scenario> fromJson(const QByteArray &json, const QDate &today,
                                            std::string *error);
    static std::optional<Scenario> fromFile(const QString &path, const QDate &today,
                                            std::string *error);
};

// One row of the result list. Texts are CP949; numbers are zero-filled
// (records 6 digits, sequence 3, reception count 4); every field is padded
// or cut to its width.
std::string MakeResultRow(char direction, std::string_view bank, std::string_view kind,
                          std::string_view date, std::string_view start, std::string_view end,
                          int records, int sequence, int receptions);

// One row of the notice list: date, time, title (CP949), file name.
std::string MakeNoticeRow(std::string_view date, std::string_view time, std::string_view title,
                          std::string_view file);

// "today", "today-N", "today+N" or "yyyymmdd" -> "yyyymmdd"; nothing for any
// other text or an impossible date.
std::optional<std::string> ResolveDate(std::string_view text, const QDate &today);

} // namespace hostsim
