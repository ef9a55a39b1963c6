#pragma once
// Small builders for the controls the forms are made of, so that every form
// makes its label panels, edits and buttons the same way.
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace fm {

// A UTF-8 source literal as a QString (captions written in the source).
inline QString U(const char *utf8) { return QString::fromUtf8(utf8); }

// A panel used as a label: raised frame, caption centred.
QLabel *MakeLabelPanel(QWidget *parent, const char *name, const char *caption);
// A one-line edit.
QLineEdit *MakeEdit(QWidget *parent, const char *name);
// A button that is never the form's default. With pressedByEnter it is
// pressed by Enter while it has the focus, as a focused button is.
QPushButton *MakeButton(QWidget *parent, const char *name, const char *caption, bool pressedByEnter);

} // namespace fm
