#include "updater/Gauge.h"

#include <algorithm>

namespace fm::upd {

TGauge::TGauge(QWidget *parent) : QProgressBar(parent)
{
    setOrientation(Qt::Horizontal);
    setRange(0, 100);
    setTextVisible(true);
    setFormat(QStringLiteral("%p%"));
    setAlignment(Qt::AlignCenter);
    refresh();
}

void TGauge::SetMaxValue(int64_t value)
{
    max_ = std::max<int64_t>(value, 0);
    progress_ = std::clamp<int64_t>(progress_, 0, max_);
    refresh();
}

void TGauge::SetProgress(int64_t value)
{
    progress_ = std::clamp<int64_t>(value, 0, max_);
    refresh();
}

int TGauge::PercentDone() const
{
    if (max_ <= 0) return 0;
    // Whole percent, rounded down, without overflowing for large files.
    return int(progress_ >= max_ ? 100 : (progress_ / double(max_)) * 100.0);
}

void TGauge::refresh() { setValue(PercentDone()); }

} // namespace fm::upd
