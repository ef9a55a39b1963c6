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

// A result file the host hands out on a "0700100" "R" request: found by
// bank (four digits), file-kind letter, send date and sequence. Its records
// go out in blocks of whole records; the first answer carries the file's
// base name in its CompCd and SubCode fields.
struct ResultFile {
    std::string bank;        // four digits, as in SubCode of the request
    std::string kind;        // three digits; the request carries its first
    std::string date;        // "yyyymmdd"
    int seq = 1;
    std::string baseName;    // eight bytes: CompCd then SubCode of the first answer
    int recordLength = 148;  // bytes of each record on the wire
    std::vector<std::string> records; // CP949, each fitted to recordLength
    int totalDelta = 0;      // added to the announced total (a wrong total)
};

// Records of a plausible result transfer file: a header, `count` data
// records and a trailer of 148 bytes each, for bank code `bank2` (two
// digits) and date `date`.
std::vector<std::string> MakeResultRecords(std::string_view bank2, std::string_view date, int count);

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
    // Result files to hand out, and notice files by name (their bytes).
    std::vector<ResultFile> resultFiles;
    std::map<std::string, std::string> noticeFiles;

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
