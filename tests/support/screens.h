#pragma once
// What the user sees of a text: its runs of ink, and whether the windows'
// texts fit the room their widgets give them.
#include <QImage>
#include <QString>
#include <QStringList>
#include <vector>

class QFont;
class QProgressBar;
class QWidget;

namespace fmtest {

// The runs of ink in an image: its pixel columns that hold any pixel other
// than the background (the colour of the top left pixel), counted as runs
// of neighbouring columns. Glyphs that never touch give one run each.
int InkRuns(const QImage &image);
// The same runs, each from its first pixel column to the column after its
// last, left to right.
struct InkSpan {
    int begin = 0, end = 0;
    bool operator==(const InkSpan &) const = default;
};
std::vector<InkSpan> InkSpans(const QImage &image);
// The same runs moved so that the first begins at 0: runs compared this
// way are the same glyphs at the same distances wherever they are drawn.
std::vector<InkSpan> FromZero(std::vector<InkSpan> spans);
// The runs of a text drawn alone in the font, black on white, on whole
// pixels.
std::vector<InkSpan> TextInkSpans(const QFont &font, const QString &text);
// The runs of the percentage a progress bar shows: the pixel columns where
// the bar as shown differs from the same bar without its text.
std::vector<InkSpan> ProgressTextInkSpans(QProgressBar &bar);

// The texts of a window's labels, buttons and group titles (the window
// itself and every widget in it) that are wider or taller than the room
// their widget gives them, in the widget's own font; each as
// "name: text (needs w x h, has w x h)".
QStringList TextsThatDoNotFit(const QWidget &window);

} // namespace fmtest
