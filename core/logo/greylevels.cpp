#include "core/logo/greylevels.h"

#include <algorithm>
#include <cmath>

GreyTable brightnessTable(int brightness)
{
    GreyTable table;
    const int step = std::clamp(brightness, darkestBrightness, lightestBrightness);
    // Two steps of 50 halve or double the gamma.
    const double gamma = std::pow(2.0, -step / 50.0);
    for (int grey = 0; grey < 256; ++grey)
        table[size_t(grey)] =
            step == 0 ? uchar(grey) : uchar(std::lround(255.0 * std::pow(grey / 255.0, gamma)));
    return table;
}

int otsuLevel(const std::array<quint32, 256> &histogram)
{
    double total = 0;
    double sum = 0;
    for (int grey = 0; grey < 256; ++grey) {
        total += histogram[size_t(grey)];
        sum += double(grey) * histogram[size_t(grey)];
    }
    // Dots up to and including `split` go black; the variance between the two
    // classes is what a good split makes large.
    double darkCount = 0;
    double darkSum = 0;
    double best = 0;
    int first = -1;
    int last = -1;
    for (int split = 0; split < 255; ++split) {
        darkCount += histogram[size_t(split)];
        darkSum += double(split) * histogram[size_t(split)];
        const double lightCount = total - darkCount;
        if (darkCount == 0 || lightCount == 0)
            continue;
        const double difference = darkSum / darkCount - (sum - darkSum) / lightCount;
        const double between = darkCount * lightCount * difference * difference;
        // Equal within rounding, next to the best: the same split as far as the
        // picture goes.
        if (between > best * (1 + 1e-12)) {
            best = between;
            first = last = split;
        } else if (between >= best * (1 - 1e-12) && last == split - 1) {
            last = split;
        }
    }
    if (first < 0)
        return 128;
    return std::clamp((first + last) / 2 + 1, 1, 254);
}
