#include "session/TransferFile.h"

#include "common/errors.h"
#include "common/msgbox.h"
#include "common/text.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace fm {

std::string TTransferRecord::Field(size_t offset, size_t width) const
{
    return FieldAt(View(), offset, width);
}

namespace header {
std::string ReceiptNo(const TTransferRecord &r) { return r.Field(16, 5); }
std::string InstitutionCd(const TTransferRecord &r) { return r.Field(21, 10); }
std::string BankCd(const TTransferRecord &r) { return r.Field(32, 2); }
std::string FirstTransferDate(const TTransferRecord &r) { return r.Field(34, 8); }
std::string LastTransferDate(const TTransferRecord &r) { return r.Field(42, 8); }
std::string SchoolAccountNo(const TTransferRecord &r) { return r.Field(64, 16); }
} // namespace header

namespace data {
std::string StudentNo(const TTransferRecord &r) { return r.Field(35, 10); }
std::string StudentName(const TTransferRecord &r) { return r.Field(55, 10); }
std::string BankCd(const TTransferRecord &r) { return r.Field(65, 2); }
std::string AccountNo(const TTransferRecord &r) { return r.Field(67, 16); }
std::string TransferDate(const TTransferRecord &r) { return r.Field(83, 8); }
std::string TransferAmount(const TTransferRecord &r) { return r.Field(91, 8); }
std::string UnprocessedAmount(const TTransferRecord &r) { return r.Field(108, 11); }
std::string ResultCd(const TTransferRecord &r) { return r.Field(119, 4); }
std::string ItemName(const TTransferRecord &r) { return r.Field(123, 16); }
} // namespace data

namespace trailer {
std::string TotalCount(const TTransferRecord &r) { return r.Field(31, 7); }
std::string TotalAmount(const TTransferRecord &r) { return r.Field(38, 13); }
std::string UnprocTotalCount(const TTransferRecord &r) { return r.Field(71, 7); }
std::string UnprocTotalAmount(const TTransferRecord &r) { return r.Field(78, 13); }
} // namespace trailer

TLoadedFile::TLoadedFile() : FileRecords(kMaxFileRecords), spare_(kMaxFileRecords) {}

TLoadedFile &LoadedFile()
{
    static TLoadedFile store;
    return store;
}

namespace {

QString bareName(const std::string &path)
{
    const auto p = path.find_last_of('/');
    return QString::fromStdString(p == std::string::npos ? path : path.substr(p + 1));
}

LoadResult refuse(LoadResult result, const QString &text)
{
    MessageBox(text, QStringLiteral("오류"), MsgIcon::Error, MsgButtons::Ok);
    return result;
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// Fills the buffers in order until they are full or the file ends; returns
// the bytes read, or -1 on a read error.
long long readAll(int fd, iovec *iov, int count)
{
    long long total = 0;
    while (count > 0) {
        const ssize_t n = ::readv(fd, iov, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        total += n;
        size_t left = size_t(n);
        while (count > 0 && left >= iov->iov_len) {
            left -= iov->iov_len;
            ++iov;
            --count;
        }
        if (count > 0) {
            iov->iov_base = static_cast<char *>(iov->iov_base) + left;
            iov->iov_len -= left;
        }
    }
    return total;
}

} // namespace

LoadResult LoadTransferFile(const std::string &path, TLoadedFile &store, int &fileRecCount)
{
    const QString noFile = QStringLiteral("파일이 없습니다!");
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return refuse(LoadResult::CannotOpen, noFile);
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return refuse(LoadResult::CannotOpen, noFile);

    const long long size = st.st_size;
    if (size < kTransferFileMinSize)
        return refuse(LoadResult::NotTransferFile,
                      QStringLiteral("이체파일이 아닙니다!\r\n%1 (%2바이트)").arg(bareName(path)).arg(size));
    const long long n = (size - kTransferFileMinSize) / kTransferRecordSize;
    if (n > kMaxFileRecords)
        return refuse(LoadResult::TooLarge,
                      QStringLiteral("이체자료가 %1건을 넘어 읽을 수 없습니다!\r\n%2 (%3건)")
                          .arg(kMaxFileRecords)
                          .arg(bareName(path))
                          .arg(n));

    // Header, data records, trailer, whatever follows the trailer (up to 147
    // bytes that the size rule tolerates), and one byte more to see that the
    // file has not grown since its size was taken.
    TTransferRecord head, trail;
    const long long trailAvail = size - kTransferRecordSize * (n + 1);
    const size_t trailLen = size_t(std::min<long long>(trailAvail, kTransferRecordSize));
    char tail[kTransferRecordSize + 1];
    iovec iov[4] = {
        {head.Bytes.data(), kTransferRecordSize},
        {store.spare_.data(), size_t(n) * kTransferRecordSize},
        {trail.Bytes.data(), trailLen},
        {tail, size_t(trailAvail) - trailLen + 1},
    };
    if (readAll(fd.get(), iov, 4) != size) return refuse(LoadResult::CannotOpen, noFile);

    // A trailer without its line end still is a whole record.
    static constexpr char kLineEnd[2] = {'\r', '\n'};
    for (size_t i = trailLen; i < size_t(kTransferRecordSize); ++i)
        trail.Bytes[i] = kLineEnd[i - (kTransferRecordSize - 2)];

    store.FileHeader = head;
    store.FileRecords.swap(store.spare_);
    store.FileTrailer = trail;
    fileRecCount = int(n);
    return LoadResult::Loaded;
}

TTrailerTotals CopyTrailerTotals(const std::string &nativePath)
{
    std::ifstream in(nativePath, std::ios::binary);
    if (!in.is_open()) return {};
    std::string line, last;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) last = std::move(line);
    }
    if (in.bad() || last.empty()) return {};
    TTransferRecord record;
    std::copy_n(last.begin(), std::min(last.size(), record.Bytes.size()), record.Bytes.begin());
    TTrailerTotals totals;
    try {
        totals.Count = StrToInt(trailer::TotalCount(record));
    } catch (const ConvertError &) {
    }
    try {
        totals.Amount = StrToInt64(trailer::TotalAmount(record));
    } catch (const ConvertError &) {
    }
    return totals;
}

} // namespace fm
