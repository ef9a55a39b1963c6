#include "common/desktop.h"

#include "common/digitface.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QPainter>
#include <QPixmap>
#include <QTime>
#include <QTranslator>

namespace fm {

const std::vector<std::pair<QString, QStringList>> &FontMapping()
{
    static const std::vector<std::pair<QString, QStringList>> mapping = {
        {QString::fromUtf8("굴림"), {DigitFaceFamily(), "Baekmuk Batang", "Baekmuk Dotum", "NanumGothic"}},
        {QString::fromUtf8("굴림체"), {"NanumGothicCoding", "Baekmuk Dotum"}},
        {"MS Sans Serif", {"Baekmuk Dotum", "NanumGothic"}},
    };
    return mapping;
}

void MapFonts()
{
    RegisterDigitFace();
    for (const auto &[name, families] : FontMapping()) {
        QFont::removeSubstitutions(name);
        QFont::insertSubstitutions(name, families);
    }
}

QLocale KoreanLocale() { return QLocale(QLocale::Korean, QLocale::SouthKorea); }

QString ClockText(const QTime &time) { return KoreanLocale().toString(time, "AP h:mm:ss"); }

bool LoadKoreanTranslation()
{
    static QTranslator *translator = nullptr;
    if (translator) return true;
    auto *t = new QTranslator(qApp);
    if (!t->load(KoreanLocale(), "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete t;
        return false;
    }
    QCoreApplication::installTranslator(t);
    translator = t;
    return true;
}

QIcon ProgramIcon(QChar letter, const QColor &colour)
{
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
        QFont f("DejaVu Sans");
        f.setBold(true);
        f.setPixelSize(size * 3 / 4);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QString(letter));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

void SetUpKoreanDesktop(QChar iconLetter, const QColor &iconColour)
{
    MapFonts();
    // Whole-pixel glyph widths and places whatever hinting the desktop asks
    // for (a desktop's "slight" hinting gives fractional widths): the
    // columns were measured with them. The windows' own fonts inherit it.
    QFont font = QApplication::font();
    font.setHintingPreference(QFont::PreferFullHinting);
    QApplication::setFont(font);
    QLocale::setDefault(KoreanLocale());
    LoadKoreanTranslation();
    QApplication::setWindowIcon(ProgramIcon(iconLetter, iconColour));
}

} // namespace fm
