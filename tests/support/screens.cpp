#include "support/screens.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QStyleOptionToolButton>
#include <QToolButton>

namespace fmtest {

std::vector<InkSpan> InkSpans(const QImage &image)
{
    const QRgb background = image.pixel(0, 0);
    std::vector<InkSpan> spans;
    bool inRun = false;
    for (int x = 0; x < image.width(); ++x) {
        bool ink = false;
        for (int y = 0; y < image.height() && !ink; ++y) ink = image.pixel(x, y) != background;
        if (ink && !inRun) spans.push_back({x, x + 1});
        if (ink) spans.back().end = x + 1;
        inRun = ink;
    }
    return spans;
}

int InkRuns(const QImage &image) { return int(InkSpans(image).size()); }

std::vector<InkSpan> FromZero(std::vector<InkSpan> spans)
{
    const int shift = spans.empty() ? 0 : spans.front().begin;
    for (InkSpan &s : spans) s.begin -= shift, s.end -= shift;
    return spans;
}

std::vector<InkSpan> TextInkSpans(const QFont &font, const QString &text)
{
    const QFontMetrics metrics(font);
    QImage image(metrics.horizontalAdvance(text) + 8, metrics.height() + 4, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QPoint(4, 2 + metrics.ascent()), text);
    p.end();
    return InkSpans(image);
}

std::vector<InkSpan> ProgressTextInkSpans(QProgressBar &bar)
{
    const bool visible = bar.isTextVisible();
    bar.setTextVisible(true);
    const QImage shown = bar.grab().toImage();
    bar.setTextVisible(false);
    const QImage bare = bar.grab().toImage();
    bar.setTextVisible(visible);
    QImage diff(shown.size(), QImage::Format_RGB32);
    diff.fill(Qt::white);
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if (shown.pixel(x, y) != bare.pixel(x, y)) diff.setPixel(x, y, qRgb(0, 0, 0));
    return InkSpans(diff);
}

namespace {

QString Describe(const QWidget &w, const QString &text, const QSize &needs, const QSize &has)
{
    return QStringLiteral("%1 (%2): \"%3\" needs %4 x %5, has %6 x %7")
        .arg(w.objectName(), QString::fromLatin1(w.metaObject()->className()), text)
        .arg(needs.width())
        .arg(needs.height())
        .arg(has.width())
        .arg(has.height());
}

// The text's size in the widget's font, lines broken where the text breaks
// them (and, with wrap, where the room ends).
QSize TextSize(const QWidget &w, const QString &text, const QRect &room, int flags)
{
    const QRect big(0, 0, flags & Qt::TextWordWrap ? room.width() : 100000, 100000);
    return w.fontMetrics().boundingRect(big, flags, text).size();
}

void Check(const QWidget &w, const QString &text, const QRect &room, int flags, QStringList &out)
{
    if (text.isEmpty()) return;
    const QSize needs = TextSize(w, text, room, flags);
    if (needs.width() > room.width() || needs.height() > room.height())
        out << Describe(w, text, needs, room.size());
}

} // namespace

QStringList TextsThatDoNotFit(const QWidget &window)
{
    QStringList out;
    QList<const QWidget *> widgets{&window};
    for (const QWidget *w : window.findChildren<const QWidget *>()) widgets << w;
    for (const QWidget *w : widgets) {
        if (const auto *label = qobject_cast<const QLabel *>(w)) {
            if (label->textFormat() == Qt::RichText) continue;
            const int margin = label->margin();
            const int indent = label->indent() > 0 ? label->indent() : 0;
            const QRect room = label->contentsRect().adjusted(margin + indent, margin, -margin - indent, -margin);
            const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
            Check(*label, label->text(), room, flags, out);
        } else if (const auto *button = qobject_cast<const QPushButton *>(w)) {
            QStyleOptionButton opt;
            opt.initFrom(button);
            opt.features = button->autoDefault() ? QStyleOptionButton::AutoDefaultButton
                                                 : QStyleOptionButton::None;
            const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, button);
            Check(*button, button->text(), room, Qt::TextShowMnemonic | Qt::AlignCenter, out);
        } else if (qobject_cast<const QRadioButton *>(w) || qobject_cast<const QCheckBox *>(w)) {
            const auto *button = static_cast<const QAbstractButton *>(w);
            QStyleOptionButton opt;
            opt.initFrom(button);
            opt.text = button->text();
            const QRect room = button->style()->subElementRect(
                qobject_cast<const QRadioButton *>(w) ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents,
                &opt, button);
            Check(*button, button->text(), room, Qt::TextShowMnemonic | Qt::AlignLeft | Qt::AlignVCenter, out);
        } else if (const auto *tool = qobject_cast<const QToolButton *>(w)) {
            // Room: the button less what the style puts around a text.
            QStyleOptionToolButton opt;
            opt.initFrom(tool);
            const QSize frame = tool->style()->sizeFromContents(QStyle::CT_ToolButton, &opt, QSize(0, 0), tool);
            const QRect room(0, 0, tool->width() - frame.width(), tool->height() - frame.height());
            if (tool->toolButtonStyle() != Qt::ToolButtonIconOnly)
                Check(*tool, tool->text(), room, Qt::TextShowMnemonic | Qt::AlignCenter, out);
        } else if (const auto *box = qobject_cast<const QGroupBox *>(w)) {
            QStyleOptionGroupBox opt;
            opt.initFrom(box);
            opt.text = box->title();
            opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            opt.textAlignment = box->alignment();
            const QRect label = box->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, box);
            if (!box->title().isEmpty() && !box->rect().contains(label))
                out << Describe(*box, box->title(), label.size(), box->size());
        }
    }
    return out;
}

} // namespace fmtest
