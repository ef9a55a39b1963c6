#pragma once
// The notice viewer: shows one downloaded notice file. Created, filled,
// shown modally and destroyed by the end of a notice download.
#include <QDialog>
#include <string>

class QFrame;
class QPushButton;
class QTextEdit;

namespace fm {

class TFrmC101B04 : public QDialog {
public:
    explicit TFrmC101B04(QWidget *parent = nullptr);

    QTextEdit *REdtMemo = nullptr; // the notice, read-only, both scroll bars
    QFrame *Panel1 = nullptr;      // along the bottom, holds the button
    QPushButton *BBtnConfi = nullptr;

    // Loads a notice file (a native path). A Rich Text file is shown as its
    // text without the formatting (this box shows plain text); anything else
    // as it stands. Texts are CP949. A file that cannot be read raises
    // InOutError.
    void LoadFromFile(const std::string &nativePath);
    // Shows CP949 text: a Rich Text document without its formatting.
    void ShowNoticeText(const std::string &cp949);

    // "닫기": closes the viewer.
    void BBtnConfiClick();
};

} // namespace fm
