// The registry hive at its extremes: opening it (a key read in a fresh
// registry object, which reads and parses the whole file) and writing one
// value (read, change, check and replace the file under the lock), for a
// hive 5,000 keys deep, 60,000 sibling keys, 60,000 values in one key and
// one of 16 MB (the most a hive may hold). Each should stay well under a
// second.
#include "platform/registry.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

const char kHeader[] = "Fennimarch registry hive 1\n";

std::string deepHive(std::string &key)
{
    key = "N";
    for (int i = 1; i < 5000; ++i) key += "\\N";
    return std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\" + key + "]\n\"V\"=\"1\"\n";
}

std::string wideKeysHive(std::string &key)
{
    std::string body = kHeader;
    for (int i = 0; i < 60000; ++i) body += "\n[HKEY_LOCAL_MACHINE\\Keys\\Key" + std::to_string(i) + "]\n";
    key = "Keys\\Key59999";
    return body;
}

std::string wideValuesHive(std::string &key)
{
    std::string body = std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\Values]\n";
    for (int i = 0; i < 60000; ++i)
        body += "\"Value" + std::to_string(i) + "\"=\"" + std::to_string(i) + "\"\n";
    key = "Values";
    return body;
}

// About 16 MB: 4,000 keys of 40 values of about 100 bytes.
std::string largeHive(std::string &key)
{
    std::string body = kHeader;
    const std::string data(80, 'd');
    for (int k = 0; k < 4000; ++k) {
        body += "\n[HKEY_LOCAL_MACHINE\\Software\\Large\\Key" + std::to_string(k) + "]\n";
        for (int v = 0; v < 40; ++v) body += "\"Value" + std::to_string(v) + "\"=\"" + data + "\"\n";
    }
    key = "Software\\Large\\Key3999";
    return body;
}

class Hive {
public:
    explicit Hive(std::string (*make)(std::string &))
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "fmbench.XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        dir = tmpl;
        path = dir + "/hklm.reg";
        const std::string body = make(key);
        FILE *f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(body.data(), 1, body.size(), f) != body.size())
            throw std::runtime_error("cannot write the hive");
        std::fclose(f);
        bytes = body.size();
        ::setenv("FENNIMARCH_HIVE", path.c_str(), 1);
    }
    ~Hive()
    {
        ::unsetenv("FENNIMARCH_HIVE");
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string dir, path, key;
    size_t bytes = 0;
};

using Maker = std::string (*)(std::string &);

void BM_Open(benchmark::State &state, Maker make)
{
    Hive hive(make);
    for (auto _ : state) {
        fm::TRegistry reg;
        if (!reg.OpenKey(hive.key, false)) state.SkipWithError("key not found");
        benchmark::DoNotOptimize(reg.ValueExists("Value0"));
    }
    state.counters["hive_bytes"] = static_cast<double>(hive.bytes);
}

void BM_Write(benchmark::State &state, Maker make)
{
    Hive hive(make);
    fm::TRegistry reg;
    if (!reg.OpenKey(hive.key, false)) state.SkipWithError("key not found");
    int n = 0;
    for (auto _ : state) reg.WriteString("Changed", std::to_string(n++));
    state.counters["hive_bytes"] = static_cast<double>(std::filesystem::file_size(hive.path));
}

} // namespace

BENCHMARK_CAPTURE(BM_Open, deep5000, deepHive)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Write, deep5000, deepHive)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Open, keys60000, wideKeysHive)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Write, keys60000, wideKeysHive)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Open, values60000, wideValuesHive)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Write, values60000, wideValuesHive)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Open, size16MB, largeHive)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Write, size16MB, largeHive)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
