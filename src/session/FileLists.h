#pragma once
// The three file lists of the communication window's grid: files waiting to
// be sent (SendFileList, 11 columns), files already sent (SentFileList, 12)
// and received result files (RecvFileList, 11). Row r of a filled list stands
// for item r - 1 of the folder listing it was filled from.
#include "platform/FileListBox.h"
#include "platform/StringGrid.h"
#include "session/TransferFile.h"

#include <string>

namespace fm {

class TFileLists {
public:
    // All references must outlive this object; the window owns them.
    TFileLists(TStringGrid &grid, TFileListBox &listing, TLoadedFile &store, int &fileRecCount,
               std::string &listKind);

    // Shape the grid as one of the lists: column count, titles of row 0,
    // column widths, two rows. Cells are not cleared.
    void SetSendFileListTitle();
    void SetSentFileListTitle();
    void SetRecvFileListTitle();

    // Lists the transfer files ("S*.txt") of `folder` (AppDir + "\Send" and
    // the like) into the grid, one row per file. kind "S" or "R", mode "S"
    // or "L". A missing folder raises InOutError; a count or amount that is
    // not a number raises ConvertError and ends the fill at that row.
    void FillFileList(const std::string &folder, const std::string &kind, const std::string &mode);

    // Reads file `index` (1-based) of the current listing, found in
    // `folder`, into the store.
    LoadResult LoadTransferFile(int index, const std::string &folder);

private:
    void writeRow(int r, const std::string &kind, const std::string &mode, bool loaded);

    TStringGrid &grid_;
    TFileListBox &listing_;
    TLoadedFile &store_;
    int &fileRecCount_;
    std::string &listKind_;
};

} // namespace fm
