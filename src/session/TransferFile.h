#pragma once
// Transfer files: fixed-length records of 150 bytes (148 bytes of CP949 text
// and CR LF), one header, N data records, one trailer whose CR LF may be
// missing. N = (size - 298) / 150.
//
// The loaded-file store holds the one transfer file read last: its header,
// its data records and its trailer. It lives for the whole run, shared by
// the communication windows; the count of records read (FileRecCount) is a
// field of the window.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fm {

constexpr int kTransferRecordSize = 150;
constexpr int kMaxFileRecords = 10001;
// Header and trailer without the trailer's line end.
constexpr int kTransferFileMinSize = 2 * kTransferRecordSize - 2;

struct TTransferRecord {
    std::array<char, kTransferRecordSize> Bytes{};

    std::string_view View() const { return {Bytes.data(), Bytes.size()}; }
    // A field as text of its full width, cut at a zero byte inside it.
    std::string Field(size_t offset, size_t width) const;
};

// Header record fields.
namespace header {
std::string ReceiptNo(const TTransferRecord &r);       // 16, 5  수납번호
std::string InstitutionCd(const TTransferRecord &r);   // 21, 10 기관코드
std::string BankCd(const TTransferRecord &r);          // 32, 2  two-digit bank code
std::string FirstTransferDate(const TTransferRecord &r); // 34, 8 이체시작일
std::string LastTransferDate(const TTransferRecord &r);  // 42, 8 이체종료일
std::string SchoolAccountNo(const TTransferRecord &r);   // 64, 16 학교계좌번호
} // namespace header

// Data record fields.
namespace data {
std::string StudentNo(const TTransferRecord &r);         // 35, 10 학번
std::string StudentName(const TTransferRecord &r);       // 55, 10 학생명
std::string BankCd(const TTransferRecord &r);            // 65, 2
std::string AccountNo(const TTransferRecord &r);         // 67, 16 계좌번호
std::string TransferDate(const TTransferRecord &r);      // 83, 8  이체일자
std::string TransferAmount(const TTransferRecord &r);    // 91, 8  이체금액
std::string UnprocessedAmount(const TTransferRecord &r); // 108, 11 미처리금액
std::string ResultCd(const TTransferRecord &r);          // 119, 4
std::string ItemName(const TTransferRecord &r);          // 123, 16 항목명
} // namespace data

// Trailer record fields.
namespace trailer {
std::string TotalCount(const TTransferRecord &r);        // 31, 7  총건수
std::string TotalAmount(const TTransferRecord &r);       // 38, 13 총금액
std::string UnprocTotalCount(const TTransferRecord &r);  // 71, 7  미처리총건수
std::string UnprocTotalAmount(const TTransferRecord &r); // 78, 13 미처리총금액
} // namespace trailer

enum class LoadResult {
    Loaded,
    CannotOpen,      // missing, unreadable, or changed while being read
    NotTransferFile, // shorter than a header and a trailer
    TooLarge,        // more data records than the store has room for
};

class TLoadedFile;
// Reads the transfer file at `path` (a native path) into the store and sets
// fileRecCount to its number of data records. The whole file is read at
// once; the store and fileRecCount change only when the file was read whole.
// A refused file is reported in a message box (caption "오류", error icon):
// "파일이 없습니다!" for a file that cannot be opened or read whole, and a
// box naming the file for one that is too short or holds more data records
// than the store has room for.
LoadResult LoadTransferFile(const std::string &path, TLoadedFile &store, int &fileRecCount);

// The loaded-file store.
class TLoadedFile {
public:
    TLoadedFile();

    TTransferRecord FileHeader;
    // Room for kMaxFileRecords data records; record r (1-based, file order)
    // is FileRecords[r - 1]. Only the first FileRecCount are the loaded
    // file's.
    std::vector<TTransferRecord> FileRecords;
    TTransferRecord FileTrailer;

    // Data record r, 1-based.
    const TTransferRecord &Record(int r) const { return FileRecords.at(size_t(r - 1)); }

private:
    friend LoadResult LoadTransferFile(const std::string &, TLoadedFile &, int &);
    std::vector<TTransferRecord> spare_; // read into, then swapped in
};

// The one store of the program.
TLoadedFile &LoadedFile();

// The totals of a trailer: the total count (position 31) and the total
// amount (position 38), each nothing when its field is not a number.
struct TTrailerTotals {
    std::optional<int> Count;
    std::optional<int64_t> Amount;
};
// The trailer totals of the copy made for sending at `nativePath`, a text
// file of one record per line whose last line is the trailer; both nothing
// when the file cannot be read.
TTrailerTotals CopyTrailerTotals(const std::string &nativePath);


} // namespace fm
