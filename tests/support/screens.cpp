#include "support/screens.h"

namespace fmtest {

int InkRuns(const QImage &image)
{
    const QRgb background = image.pixel(0, 0);
    int runs = 0;
    bool inRun = false;
    for (int x = 0; x < image.width(); ++x) {
        bool ink = false;
        for (int y = 0; y < image.height() && !ink; ++y) ink = image.pixel(x, y) != background;
        if (ink && !inRun) ++runs;
        inRun = ink;
    }
    return runs;
}

} // namespace fmtest
