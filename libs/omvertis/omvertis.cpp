#include "omvertis.h"

#include "folder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace omv {
namespace {

// A record of a transfer file: 148 bytes of text, then CR LF.
constexpr size_t kRecordText = 148;
constexpr size_t kRecordSize = kRecordText + 2;
// Header and trailer, the trailer without its CR LF.
constexpr long long kMinFileSize = 2 * kRecordSize - 2;
// Trailer: total count of data records.
constexpr size_t kTrailerCountPos = 31;
constexpr size_t kTrailerCountWidth = 7;
// The host sends whole records inside a 960-byte data part, so no raw
// record is longer.
constexpr size_t kMaxRawRecord = 960;
// The copy made for sending: sback/<name> + this suffix. The file lists show
// only "S*.txt", so a copy is never taken for a sent file, and an earlier
// sent file of the same name stays as it is.
constexpr const char *kCopySuffix = ".cnv";
// Names tried for one result before the conversion gives up.
constexpr int kMaxResultNames = 1000;

bool HasLineBreak(const char *p, size_t n)
{
    return std::memchr(p, '\r', n) != nullptr || std::memchr(p, '\n', n) != nullptr;
}

// A count field read the way the client reads it: cut at a zero byte,
// leading blanks skipped, an optional sign, then decimal digits only.
bool ReadCount(const char *field, size_t width, long long &value)
{
    size_t n = 0;
    while (n < width && field[n] != '\0') ++n;
    size_t i = 0;
    while (i < n && field[i] == ' ') ++i;
    bool negative = false;
    if (i < n && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
    if (i == n) return false;
    value = 0;
    for (; i < n; ++i) {
        if (field[i] < '0' || field[i] > '9') return false;
        value = value * 10 + (field[i] - '0');
    }
    if (negative) value = -value;
    return true;
}

// "S": the transfer file of send/ checked record by record and written to
// sback/ with one record per line.
bool ConvertForSending(const std::string &folder, const std::string &name)
{
    const std::string send = SubFolder(folder, "send");
    const std::string sback = SubFolder(folder, "sback");
    if (send.empty() || sback.empty()) return false;
    const std::string entry = FindEntry(send, name);
    if (entry.empty()) return false;
    InputFile in(send + "/" + entry);
    if (!in.IsOpen()) return false;

    const long long size = in.Size();
    if (size < kMinFileSize) return false;
    const long long rest = (size - kMinFileSize) % static_cast<long long>(kRecordSize);
    if (rest != 0 && rest != 2) return false;
    const long long dataRecords = (size - kMinFileSize) / static_cast<long long>(kRecordSize);

    OutputFile out(sback);
    if (!out.Open()) return false;
    char rec[kRecordSize];
    for (long long i = 0; i < dataRecords + 2; ++i) {
        const bool trailer = i == dataRecords + 1;
        const size_t want = (trailer && rest == 0) ? kRecordText : kRecordSize;
        if (!in.ReadExactly(rec, want)) return false;
        if (HasLineBreak(rec, kRecordText)) return false;
        if (want == kRecordSize && (rec[kRecordText] != '\r' || rec[kRecordText + 1] != '\n'))
            return false;
        if (trailer) {
            long long count = 0;
            if (!ReadCount(rec + kTrailerCountPos, kTrailerCountWidth, count) ||
                count != dataRecords)
                return false;
        }
        rec[kRecordText] = '\r';
        rec[kRecordText + 1] = '\n';
        if (!out.Write(rec, kRecordSize)) return false;
    }
    // A file that grew while it was read is not the file that was measured.
    if (!in.AtEnd()) return false;
    return out.Commit(name + kCopySuffix, in.Stat());
}

enum class Line { Read, End, Bad };

// One line ending in CR LF (the last line may lack it) of at most maxLen
// bytes, without its line end. A CR or LF anywhere else makes it bad.
Line ReadLine(std::FILE *f, std::string &line, size_t maxLen)
{
    line.clear();
    bool cr = false;
    for (;;) {
        const int c = getc_unlocked(f); // one reader per file: no locking per byte
        if (c == EOF) {
            if (std::ferror(f) || cr) return Line::Bad;
            return line.empty() ? Line::End : Line::Read;
        }
        if (c == '\n') return cr ? Line::Read : Line::Bad;
        if (cr) return Line::Bad;
        if (c == '\r') {
            cr = true;
            continue;
        }
        if (line.size() == maxLen) return Line::Bad;
        line.push_back(static_cast<char>(c));
    }
}

// A raw record of the host's record length made a 148-byte record: a shorter
// one is filled with blanks, a longer one is cut when what is cut off is
// blank. A longer record with text beyond 148 bytes is refused: cutting it
// would lose part of the result.
bool FitRecord(std::string &rec)
{
    if (rec.size() < kRecordText) {
        rec.append(kRecordText - rec.size(), ' ');
    } else if (rec.size() > kRecordText) {
        if (rec.find_first_not_of(' ', kRecordText) != std::string::npos) return false;
        rec.resize(kRecordText);
    }
    return true;
}

// The name of the result of raw file `name`: "S", the raw name with "." made
// "_", "_" and the local date and time of the conversion, then `suffix` and
// ".txt" (12340026.201 -> S12340026_201_20260105093000.txt). The raw name
// repeats from day to day (its counters restart) and within a day (its
// two-digit suffix repeats after 99 files), the date and time do not; a
// name that is taken all the same is tried again with the suffix "_2",
// "_3", ...
std::string ResultNameStem(const std::string &name)
{
    std::string base = "S" + name;
    for (size_t i = 1; i < base.size(); ++i)
        if (base[i] == '.') base[i] = '_';
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char stamp[32] = "";
    if (::localtime_r(&now, &local)) std::strftime(stamp, sizeof stamp, "_%Y%m%d%H%M%S", &local);
    return base + stamp;
}

// Gives the finished result in `out` the first free name of ResultNameStem:
// the name appears only when the result is whole and on disk, and never
// replaces a file.
bool PublishResult(OutputFile &out, const std::string &name)
{
    const std::string stem = ResultNameStem(name);
    for (int n = 1; n <= kMaxResultNames; ++n) {
        char suffix[16] = "";
        if (n > 1) std::snprintf(suffix, sizeof suffix, "_%d", n);
        const int r = out.PublishAs(stem + suffix + ".txt");
        if (r == 0) return true;
        if (r != EEXIST) return false;
    }
    return false;
}

// "R": the raw result file of recv/ (the host's records, one per line, all
// of one length) written to recv/ as a new transfer file named by
// ResultNameStem. Empty lines hold no record and are skipped. An existing
// file of recv is never replaced.
bool ConvertReceived(const std::string &folder, const std::string &name)
{
    const std::string recv = SubFolder(folder, "recv");
    if (recv.empty()) return false;
    const std::string entry = FindEntry(recv, name);
    if (entry.empty()) return false;
    InputFile in(recv + "/" + entry);
    if (!in.IsOpen()) return false;

    OutputFile out(recv);
    if (!out.Open()) return false;
    std::string line;
    size_t length = 0;
    long long records = 0;
    for (;;) {
        const Line r = ReadLine(in.Get(), line, kMaxRawRecord);
        if (r == Line::Bad) return false;
        if (r == Line::End) break;
        if (line.empty()) continue;
        if (length == 0) length = line.size();
        if (line.size() != length || !FitRecord(line)) return false;
        line += "\r\n";
        if (!out.Write(line.data(), line.size())) return false;
        ++records;
    }
    // At least a header and a trailer.
    if (records < 2) return false;
    return out.Finish() && PublishResult(out, name);
}

} // namespace
} // namespace omv

extern "C" unsigned char DoOmvertis(const char *folder, const char *fileName, const char *mode)
{
    try {
        if (!folder || !*folder || !mode || !omv::IsBareName(fileName)) return 0;
        if (std::strcmp(mode, "S") == 0) return omv::ConvertForSending(folder, fileName) ? 1 : 0;
        if (std::strcmp(mode, "R") == 0) return omv::ConvertReceived(folder, fileName) ? 1 : 0;
        return 0;
    } catch (...) {
        return 0;
    }
}
