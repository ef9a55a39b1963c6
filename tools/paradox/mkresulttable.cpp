// mkresulttable: writes the result-code table DSBBRslt.DB from a UTF-8 text
// file with one row per line: bank key, result code and reason text,
// separated by tabs. Empty lines and lines beginning with '#' are skipped.
//
//   mkresulttable <rows.tsv> [<output file or folder>]
//
// The output defaults to DSBBRslt.DB in the current folder; when a folder is
// given the table is written into it under that name.
#include "common/codec.h"
#include "paradox/pxwrite.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const std::vector<fm::pxwrite::AlphaColumn> kColumns = {
    {"BankCd", 2},
    {"StdRsltCd", 4},
    {"StdRsltContent", 100},
};

std::vector<std::string> splitTabs(const std::string &line)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        out.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s <rows.tsv> [<output file or folder>]\n", argv[0]);
        return 2;
    }
    std::filesystem::path out = argc == 3 ? argv[2] : "DSBBRslt.DB";
    std::error_code ec;
    if (std::filesystem::is_directory(out, ec)) out /= "DSBBRslt.DB";

    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    std::vector<std::vector<std::string>> rows;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (lineNo == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields = splitTabs(line);
        if (fields.size() != kColumns.size()) {
            std::fprintf(stderr, "%s: line %d: expected %zu tab-separated values, found %zu\n", argv[0], lineNo,
                         kColumns.size(), fields.size());
            return 1;
        }
        for (size_t i = 0; i < fields.size(); ++i) {
            const std::string utf8 = fields[i];
            fields[i] = fm::Utf8ToCp949(utf8);
            if (fm::Cp949ToUtf8(fields[i]) != utf8) {
                std::fprintf(stderr, "%s: line %d: %s holds characters the Korean code page cannot hold\n",
                             argv[0], lineNo, kColumns[i].name.c_str());
                return 1;
            }
            if (fields[i].size() > static_cast<size_t>(kColumns[i].width)) {
                std::fprintf(stderr, "%s: line %d: %s is longer than %d bytes\n", argv[0], lineNo,
                             kColumns[i].name.c_str(), kColumns[i].width);
                return 1;
            }
        }
        rows.push_back(std::move(fields));
    }
    try {
        fm::pxwrite::WriteAlphaTable(out.string(), "DSBBRslt", kColumns, rows);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    std::printf("%s: %zu rows\n", out.string().c_str(), rows.size());
    return 0;
}
