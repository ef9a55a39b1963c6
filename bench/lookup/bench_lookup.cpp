// The detail list's reason lookup: 10,000 lookups, each closing the query,
// setting its two lines and both parameters, opening it and reading the
// reason, against a 1,000-row result-code table.
#include "paradox/pxwrite.h"
#include "platform/database.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char *const kBanks[] = {"26", "11", "12", "99"};

class Folder {
public:
    Folder()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "fmbench.XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path = tmpl;
        std::vector<std::vector<std::string>> rows;
        for (int i = 0; i < 1000; ++i) {
            char code[8];
            std::snprintf(code, sizeof code, "%04d", i / 4);
            // "사유" (reason) in CP949 followed by the row number.
            rows.push_back({kBanks[i % 4], code, "\xBB\xE7\xC0\xAF " + std::to_string(i)});
        }
        fm::pxwrite::WriteAlphaTable(path + "/DSBBRslt.DB", "DSBBRslt",
                                     {{"BankCd", 2}, {"StdRsltCd", 4}, {"StdRsltContent", 100}}, rows);
    }
    ~Folder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

void BM_Lookup10000(benchmark::State &state)
{
    Folder folder;
    fm::TDatabase db;
    db.DriverName = "STANDARD";
    db.Params = {"PATH=" + folder.path, "LANGDRIVER=korea"};
    db.Open();
    fm::TQuery query(db);

    // Keys: three of four hit a row, every fourth asks for a code not in
    // the table.
    std::vector<std::pair<std::string, std::string>> keys;
    for (int i = 0; i < 10000; ++i) {
        char code[8];
        std::snprintf(code, sizeof code, "%04d", i % 4 == 3 ? 9000 + i % 500 : (i * 7) % 250);
        keys.emplace_back(kBanks[i % 4], code);
    }

    size_t found = 0;
    for (auto _ : state) {
        found = 0;
        for (const auto &[bank, code] : keys) {
            query.Close();
            query.SQL = {"select StdRsltContent from DSBBRslt.DB ",
                         "where BankCd = :ErrBnkCd and  StdRsltCd = :ErrCd"};
            query.ParamByName("ErrBnkCd").AsString = bank;
            query.ParamByName("ErrCd").AsString = code;
            query.Open();
            const std::string &reason = query.FieldByName("StdRsltContent").AsString;
            found += reason.empty() ? 0 : 1;
            benchmark::DoNotOptimize(reason.data());
        }
    }
    if (found != 7500) state.SkipWithError("unexpected number of answers");
    state.counters["lookups"] = static_cast<double>(keys.size());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * keys.size()));
}
BENCHMARK(BM_Lookup10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
