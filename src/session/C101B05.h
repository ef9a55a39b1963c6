#pragma once
// The detail list: one row per data record of the transfer file loaded last,
// with the failure reason of each record of a received result file. Created
// and filled for every press of "세부자료조회", shown modally, then released.
#include "platform/StringGrid.h"
#include "session/DataGrid.h"
#include "session/TransferFile.h"

#include <QDialog>
#include <string>

class QPushButton;

namespace fm {

class TFrmC101B05 : public QDialog {
public:
    // Reads the loaded file (`store`, its `fileRecCount` data records) and
    // the kind of the list it came from ("R" received, else sent or to
    // send). `banks`, when given, is the window's bank list, whose selected
    // item follows the bank search; otherwise the dialog searches a list of
    // its own.
    TFrmC101B05(const TLoadedFile &store, int fileRecCount, const std::string &listKind,
                TBankList *banks = nullptr, QWidget *parent = nullptr);

    TStringGrid *SGrdDataLst = nullptr;
    QPushButton *BBClose = nullptr;

    // Runs DataListTitle then DataListShow; an error ends the filling at the
    // record where it happened and is shown, the rows so far stay.
    void FormCreate();
    void DataListTitle();
    void DataListShow();
    // The failure reason of a bank key and a result code from DSBBRslt.DB
    // through the data module's query; empty when no row matches.
    std::string GetImpossReason(const std::string &bankKey, const std::string &resultCode);
    void BBCloseClick();
    void SGrdDataLstDrawCell(TGridCanvas &canvas, int col, int row, const TRect &rect);

protected:
    // Esc does nothing; the close box is Cancel.
    void keyPressEvent(QKeyEvent *event) override;

private:
    const TLoadedFile &store_;
    int fileRecCount_;
    std::string listKind_;
    TBankList ownBanks_;
    TBankList &banks_;
};

} // namespace fm
