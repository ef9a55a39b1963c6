#pragma once
// Builds transfer files for the tests: 150-byte records of blanks with the
// given fields at their offsets, ending in CR LF.
#include <string>
#include <utility>
#include <vector>

namespace listtest {

inline std::string Record(const std::vector<std::pair<size_t, std::string>> &fields)
{
    std::string r(148, ' ');
    for (const auto &[pos, text] : fields) r.replace(pos, text.size(), text);
    r.resize(148, ' ');
    return r + "\r\n";
}

struct FileSpec {
    std::string bank = "26", receipt = "12345", institution = "A123456789", first = "20240301",
                last = "20240305", account = "1234567890123456";
    std::string count = "0000010", amount = "0000001234567", unprocCount = "0000003",
                unprocAmount = "0000000004500";
    int records = 0;
    bool trailerCrLf = true;
};

// Data record i holds i as its student number.
inline std::string File(const FileSpec &s)
{
    std::string f = Record({{16, s.receipt}, {21, s.institution}, {32, s.bank}, {34, s.first},
                            {42, s.last}, {64, s.account}});
    for (int i = 1; i <= s.records; ++i) f += Record({{35, std::to_string(i)}, {91, "00010000"}});
    f += Record({{31, s.count}, {38, s.amount}, {71, s.unprocCount}, {78, s.unprocAmount}});
    if (!s.trailerCrLf) f.resize(f.size() - 2);
    return f;
}

} // namespace listtest
