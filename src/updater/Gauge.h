#pragma once
// The gauge: a horizontal bar that shows the percentage done of a count
// running from 0 to MaxValue. The progress is kept within 0 to MaxValue; a
// MaxValue of 0 shows 0 %.
#include <QProgressBar>

#include <cstdint>

namespace fm::upd {

class TGauge : public QProgressBar {
public:
    explicit TGauge(QWidget *parent = nullptr);

    int64_t MaxValue() const { return max_; }
    int64_t Progress() const { return progress_; }
    void SetMaxValue(int64_t value);
    void SetProgress(int64_t value);
    // 0 to 100.
    int PercentDone() const;

private:
    void refresh();

    int64_t max_ = 100;
    int64_t progress_ = 0;
};

} // namespace fm::upd
