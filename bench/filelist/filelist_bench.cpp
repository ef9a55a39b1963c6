// Filling a file list from 50 transfer files of 10,001 records each, against
// plainly reading the same bytes. Both run with the files in the page cache
// (every run reads them all; the first, warming, run is not measured).
// BM_LoadOnly loads the same files into the store without the listing and
// the grid, to tell the two costs apart.
#include "session/FileLists.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFiles = 50;

std::string record(char tag, const std::vector<std::pair<size_t, std::string>> &fields)
{
    std::string r(148, ' ');
    r[0] = tag;
    for (const auto &[pos, text] : fields) r.replace(pos, text.size(), text);
    return r + "\r\n";
}

struct Folder {
    std::string root;
    std::vector<std::string> files;

    Folder()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "fmbench.XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        root = tmpl;
        std::filesystem::create_directory(root + "/send");
        std::string body = record('H', {{16, "12345"}, {21, "INST000001"}, {32, "26"},
                                        {34, "20240301"}, {42, "20240305"}, {64, "1234567890123456"}});
        for (int i = 1; i <= fm::kMaxFileRecords; ++i)
            body += record('D', {{35, std::to_string(i)}, {91, "00010000"}});
        body += record('T', {{31, "0010001"}, {38, "0000100010000"}});
        for (int f = 1; f <= kFiles; ++f) {
            char name[32];
            std::snprintf(name, sizeof name, "S%03d.txt", f);
            const std::string path = root + "/send/" + name;
            std::ofstream(path, std::ios::binary).write(body.data(), std::streamsize(body.size()));
            files.push_back(path);
        }
    }
    ~Folder() { std::filesystem::remove_all(root); }
};

Folder &folder()
{
    static Folder f;
    return f;
}

void BM_PlainRead(benchmark::State &state)
{
    const Folder &f = folder();
    std::vector<char> buf(size_t(fm::kMaxFileRecords + 2) * fm::kTransferRecordSize);
    int64_t bytes = 0;
    for (auto _ : state) {
        for (const std::string &path : f.files) {
            const int fd = ::open(path.c_str(), O_RDONLY);
            ssize_t n;
            size_t got = 0;
            while ((n = ::read(fd, buf.data() + got, buf.size() - got)) > 0) got += size_t(n);
            ::close(fd);
            bytes += int64_t(got);
            benchmark::DoNotOptimize(buf.data());
        }
    }
    state.SetBytesProcessed(bytes);
}

void BM_FillFileList(benchmark::State &state)
{
    const Folder &f = folder();
    fm::TStringGrid grid;
    fm::TFileListBox listing;
    auto store = std::make_unique<fm::TLoadedFile>();
    int recCount = 0;
    std::string listKind;
    fm::TFileLists lists(grid, listing, *store, recCount, listKind);
    int64_t bytes = 0;
    for (auto _ : state) {
        lists.SetSendFileListTitle();
        lists.FillFileList(f.root + "\\Send", "S", "S");
        if (grid.RowCount() != kFiles + 1 || recCount != fm::kMaxFileRecords) state.SkipWithError("fill failed");
        bytes += int64_t(kFiles) * ((fm::kMaxFileRecords + 2) * fm::kTransferRecordSize);
    }
    state.SetBytesProcessed(bytes);
}

void BM_LoadOnly(benchmark::State &state)
{
    const Folder &f = folder();
    auto store = std::make_unique<fm::TLoadedFile>();
    int recCount = 0;
    for (auto _ : state)
        for (const std::string &path : f.files) fm::LoadTransferFile(path, *store, recCount);
}
BENCHMARK(BM_LoadOnly)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2);
BENCHMARK(BM_FillFileList)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2);

} // namespace

int main(int argc, char **argv)
{
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    folder();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
