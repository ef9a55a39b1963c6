#pragma once
// What both programs set up before their first window so that they look and
// read like a Korean desktop program whatever the machine's locale:
//
// - The font names the windows ask for ("굴림", "굴림체", "MS Sans Serif")
//   are mapped, inside the program, to installed Korean fonts of close
//   metrics: "굴림" to the programs' own digit face (digitface.h: digits 6
//   pixels wide at 12 pixels, hyphen 5, comma 3, "%" 8, never touching, so
//   the lists' dates, amounts and numbers fit their columns and stay
//   legible, and the progress bars' percentages read cleanly)
//   with Baekmuk Batang behind it for every other character (proportional),
//   "MS Sans Serif" to Baekmuk Dotum (proportional, a plain sans face for
//   the main window), "굴림체" to NanumGothicCoding (fixed pitch, 6 pixels a
//   half-width character, 12 a syllable). The user's font configuration is
//   neither read for this nor changed.
// - Whole-pixel hinting for every window's font, whatever the desktop asks.
// - Qt's own Korean translation (the standard buttons 확인, 예, 아니요, 취소).
// - One fixed Korean locale for every number and date the program shows.
// - The program's window icon.
#include <QChar>
#include <QColor>
#include <QIcon>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTime>
#include <utility>
#include <vector>

namespace fm {

// The font names the windows use and the installed families they map to,
// first choice first.
const std::vector<std::pair<QString, QStringList>> &FontMapping();
// Adds the digit face and registers FontMapping() with Qt's font
// substitutions (idempotent).
void MapFonts();

// The locale of every number and date the program shows.
QLocale KoreanLocale();
// The clock's form: the Korean long time, e.g. "오후 8:52:47".
QString ClockText(const QTime &time);

// Loads Qt's Korean translation; true when it was found.
bool LoadKoreanTranslation();

// A drawn program icon: the letter on a square of the colour.
QIcon ProgramIcon(QChar letter, const QColor &colour);

// All of the above for a program starting up (after the application object).
void SetUpKoreanDesktop(QChar iconLetter, const QColor &iconColour);

} // namespace fm
