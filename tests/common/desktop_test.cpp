// The Korean desktop both programs set up: Qt's own texts in Korean, and the
// figures of the lists' font.
#include "common/desktop.h"
#include "common/digitface.h"
#include "support/screens.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>

TEST(Desktop, StandardButtonsReadKoreanWhateverTheLocale)
{
    QLocale::setDefault(QLocale::c());
    ASSERT_TRUE(fm::LoadKoreanTranslation()) << "qtbase_ko.qm (qt6-translations-l10n) is missing";
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    const std::pair<QMessageBox::StandardButton, const char *> expected[] = {
        {QMessageBox::Ok, "확인"}, {QMessageBox::Yes, "예"}, {QMessageBox::No, "아니요"}, {QMessageBox::Cancel, "취소"}};
    for (const auto &[button, text] : expected)
        EXPECT_TRUE(box.button(button)->text().startsWith(QString::fromUtf8(text)))
            << box.button(button)->text().toStdString();
}

namespace {

QImage Drawn(const QFont &font, const QString &text, qreal x)
{
    QImage image(QFontMetrics(font).horizontalAdvance(text) + 8, 16, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QPointF(x, 12), text);
    return image;
}

} // namespace

// "굴림" at the lists' 12 pixels: any two of the ten digits, ",", "-" and "%"
// side by side are two runs of ink, also where a line of text places them
// between two pixels; every other character is Baekmuk Batang's, on the
// same baseline.
TEST(Desktop, TheFiguresOfTheListFontNeverTouch)
{
    QFont gulim(QString::fromUtf8("굴림"));
    gulim.setPixelSize(12);
    const QString figures = "0123456789,-%";
    for (qreal x : {2.0, 2.5, 2.75})
        for (QChar a : figures)
            for (QChar b : figures)
                EXPECT_EQ(fmtest::InkRuns(Drawn(gulim, QString(a) + b, x)), 2)
                    << QString(a).toStdString() << QString(b).toStdString() << " at " << x;
    QFont batang("Baekmuk Batang");
    batang.setPixelSize(12);
    const QString words = QString::fromUtf8("국민은행 GONG.TXT 송신:");
    EXPECT_EQ(Drawn(gulim, words, 2), Drawn(batang, words, 2));
    EXPECT_EQ(QFontMetrics(gulim).height(), QFontMetrics(batang).height());

    // The windows' fonts get whole-pixel hinting whatever the desktop asks.
    QWidget window;
    window.setFont(gulim);
    EXPECT_EQ(window.font().hintingPreference(), QFont::PreferFullHinting);
}

// The progress bars' percentage in "굴림": every character of it, "%" too,
// comes from the digit face, drawn on whole pixels, one run of ink each.
TEST(Desktop, ThePercentSignIsTheDigitFaces)
{
    QFont gulim(QString::fromUtf8("굴림"));
    gulim.setPixelSize(12);
    for (const QString text : {"5%", "100%"}) {
        QTextLayout layout(text, gulim);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        for (const QGlyphRun &run : layout.glyphRuns())
            EXPECT_EQ(run.rawFont().familyName().toLower(), fm::DigitFaceFamily().toLower()) << text.toStdString();
        const QImage drawn = Drawn(gulim, text, 2);
        EXPECT_EQ(fmtest::InkRuns(drawn), text.size()) << text.toStdString();
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x) {
                const QColor c = drawn.pixelColor(x, y);
                EXPECT_TRUE(c == Qt::black || c == Qt::white) << text.toStdString() << " smeared at " << x << "," << y;
            }
    }
}
