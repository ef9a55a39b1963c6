#pragma once
// The figures of the lists and the progress bars: a small face of the
// programs' own that holds the ten digits, "," "-" and "%" drawn for 12
// pixels to the em, each digit five pixels wide in a cell of six, the comma
// in three, the hyphen in five, the percent sign seven in eight, so that at
// the windows' size no two glyphs of a number ever touch ("20,000",
// "0020240001", "2026-12-08", "100%") while "2,147,483,647" still takes 69
// pixels. The installed Korean fonts cannot give that at 12 pixels: their
// digits are drawn as wide as their six-pixel cells, or are wider than six,
// and their "%" drawn without smoothing is a blot.
//
// "굴림" names this face first and the Korean fonts behind it (see
// desktop.h): every other character comes from the next family, and the
// face has that family's line height (0.8 em above the baseline, 0.2 below).
#include <QByteArray>
#include <QString>

namespace fm {

// The family name the face is registered under.
QString DigitFaceFamily();
// The face as a TrueType font file.
QByteArray DigitFaceFile();
// Adds the face to the application's fonts (once); true when it is there.
bool RegisterDigitFace();

} // namespace fm
