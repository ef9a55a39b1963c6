#pragma once
// Builds transfer files for the tests: 150-byte records of blanks with the
// given fields placed at their offsets, ending in CR LF.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace listtest {

using Fields = std::vector<std::pair<size_t, std::string>>;

inline std::string Record(const Fields &fields)
{
    std::string r(148, ' ');
    for (const auto &[pos, text] : fields) r.replace(pos, text.size(), text);
    r.resize(148, ' ');
    return r + "\r\n";
}

struct FileSpec {
    std::string bank = "26";         // header 32, 2
    std::string receipt = "12345";   // header 16, 5
    std::string institution = "A123456789"; // header 21, 10
    std::string first = "20240301";  // header 34, 8
    std::string last = "20240305";   // header 42, 8
    std::string account = "1234567890123456"; // header 64, 16
    std::string count = "0000010";   // trailer 31, 7
    std::string amount = "0000001234567"; // trailer 38, 13
    std::string unprocCount = "0000003";  // trailer 71, 7
    std::string unprocAmount = "0000000004500"; // trailer 78, 13
    int records = 0;
    bool trailerCrLf = true;
};

inline std::string Header(const FileSpec &s)
{
    return Record({{0, "H"}, {16, s.receipt}, {21, s.institution}, {32, s.bank}, {34, s.first},
                   {42, s.last}, {64, s.account}});
}

inline std::string Trailer(const FileSpec &s)
{
    return Record({{0, "T"}, {31, s.count}, {38, s.amount}, {71, s.unprocCount}, {78, s.unprocAmount}});
}

// Data record i: its student number field holds i.
inline std::string DataRecord(int i)
{
    return Record({{0, "D"}, {35, std::to_string(i)}, {91, "00010000"}});
}

inline std::string File(const FileSpec &s)
{
    std::string f = Header(s);
    f.reserve(150 * size_t(s.records + 2));
    for (int i = 1; i <= s.records; ++i) f += DataRecord(i);
    f += Trailer(s);
    if (!s.trailerCrLf) f.resize(f.size() - 2);
    return f;
}

} // namespace listtest
