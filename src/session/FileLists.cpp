#include "session/FileLists.h"

#include "common/codec.h"
#include "common/msgbox.h"
#include "common/text.h"
#include "platform/paths.h"
#include "session/DataGrid.h"

#include <QString>

namespace fm {

namespace {

void shape(TStringGrid &grid, std::initializer_list<TGridColumn> columns)
{
    SetGridTitles(grid, columns);
    grid.SetRowCount(2);
}

} // namespace

TFileLists::TFileLists(TStringGrid &grid, TFileListBox &listing, TLoadedFile &store, int &fileRecCount,
                       std::string &listKind)
    : grid_(grid), listing_(listing), store_(store), fileRecCount_(fileRecCount), listKind_(listKind)
{
    listing_.Mask = "S*.txt";
}

void TFileLists::SetSendFileListTitle()
{
    shape(grid_, {{"구분", 30}, {"은행명", 65}, {"화일타입", 50}, {"수납번호", 50}, {"기관코드", 70},
                  {"학교계좌번호", 110}, {"총건수", 80}, {"총금액", 80}, {"이체시작일", 60},
                  {"이체종료일", 60}, {"선택", 25}});
}

void TFileLists::SetSentFileListTitle()
{
    shape(grid_, {{"구분", 30}, {"은행명", 65}, {"화일타입", 50}, {"수납번호", 50}, {"기관코드", 70},
                  {"학교계좌번호", 110}, {"총건수", 50}, {"총금액", 70}, {"이체시작일", 60},
                  {"이체종료일", 60}, {"송신", 40}, {"선택", 25}});
}

void TFileLists::SetRecvFileListTitle()
{
    shape(grid_, {{"구분", 30}, {"은행명", 65}, {"화일타입", 50}, {"수납번호", 50}, {"기관코드", 70},
                  {"학교계좌번호", 110}, {"미처리총건수", 80}, {"미처리총금액", 80}, {"이체시작일", 60},
                  {"이체종료일", 60}, {"선택", 25}});
}

LoadResult TFileLists::LoadTransferFile(int index, const std::string &folder)
{
    const auto &items = listing_.Items();
    if (index < 1 || index > int(items.size())) {
        MessageBox(QStringLiteral("파일이 없습니다!"), QStringLiteral("오류"), MsgIcon::Error, MsgButtons::Ok);
        return LoadResult::CannotOpen;
    }
    // The items are the names as found in the listed folder.
    const std::string &item = items[size_t(index - 1)];
    const std::string path = folder == listing_.Directory() && !listing_.NativeDirectory().empty()
                                 ? listing_.NativeDirectory() + "/" + item
                                 : NativePath(folder + "\\" + item);
    return fm::LoadTransferFile(path, store_, fileRecCount_);
}

void TFileLists::FillFileList(const std::string &folder, const std::string &kind, const std::string &mode)
{
    listing_.SetDirectory(folder);
    const int files = listing_.Count();
    if (files == 0) {
        MessageBox(QStringLiteral("파일이 없습니다!"), QString(), MsgIcon::Error, MsgButtons::Ok);
        return;
    }
    for (int r = 1; r <= files; ++r) {
        grid_.SetRowCount(r + 1);
        const bool loaded = LoadTransferFile(r, folder) == LoadResult::Loaded;
        listKind_ = kind;
        writeRow(r, kind, mode, loaded);
    }
}

void TFileLists::writeRow(int r, const std::string &kind, const std::string &mode, bool loaded)
{
    grid_.SetCell(0, r, kind);
    if (loaded) {
        const TTransferRecord &h = store_.FileHeader;
        const TTransferRecord &t = store_.FileTrailer;
        const bool unprocessed = kind == "R" && mode == "L";
        grid_.SetCell(1, r, "00" + Trimmed(header::BankCd(h)));
        grid_.SetCell(2, r, "200");
        grid_.SetCell(3, r, Trimmed(header::ReceiptNo(h)));
        grid_.SetCell(4, r, Trimmed(header::InstitutionCd(h)));
        grid_.SetCell(5, r, Trimmed(header::SchoolAccountNo(h)));
        const int32_t count = StrToInt(unprocessed ? trailer::UnprocTotalCount(t) : trailer::TotalCount(t));
        grid_.SetCell(6, r, std::to_string(count));
        // The amount field holds 13 digits: read into 64 bits.
        const int64_t amount =
            StrToInt64(unprocessed ? trailer::UnprocTotalAmount(t) : trailer::TotalAmount(t));
        grid_.SetCell(7, r, FormatThousands(amount, 13));
        grid_.SetCell(8, r, Trimmed(header::FirstTransferDate(h)));
        grid_.SetCell(9, r, Trimmed(header::LastTransferDate(h)));
    } else {
        // A file that could not be read shows nothing of another file.
        for (int c = 1; c <= 9; ++c) grid_.SetCell(c, r, std::string());
    }
    if (kind == "S" && mode == "L") {
        grid_.SetCell(10, r, K("완료"));
        grid_.SetCell(11, r, std::string());
    } else {
        grid_.SetCell(10, r, std::string());
    }
    // A count of 7 digits or an amount of 13 with its separators may not
    // fit the column's first width: the column grows to show it whole.
    grid_.GrowColsToFit(r, 0, grid_.ColCount() - 1);
}

} // namespace fm
