#pragma once
// What the user sees of a text: its runs of ink.
#include <QImage>

namespace fmtest {

// The runs of ink in an image: its pixel columns that hold any pixel other
// than the background (the colour of the top left pixel), counted as runs
// of neighbouring columns. Glyphs that never touch give one run each.
int InkRuns(const QImage &image);

} // namespace fmtest
