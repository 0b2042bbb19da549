#include "ui/progress/progressthrottle.h"

namespace {

void showValue(QProgressBar *bar, int value)
{
    // With updates off setValue does not repaint; turning them on asks for a paint
    // in the next pass, merged with every other bar's.
    bar->setUpdatesEnabled(false);
    bar->setValue(value);
    bar->setUpdatesEnabled(true);
}

} // namespace

ProgressThrottle::ProgressThrottle(QObject *parent) : QObject(parent)
{
    timer.setInterval(intervalMs);
    connect(&timer, &QTimer::timeout, this, [this] {
        if (pendingBars.empty())
            timer.stop();
        else
            flush();
    });
}

int ProgressThrottle::addBar(QProgressBar *bar)
{
    bars.push_back({bar, bar->value(), false});
    return int(bars.size()) - 1;
}

void ProgressThrottle::setValue(int index, int value)
{
    if (index < 0 || index >= int(bars.size()))
        return;
    Bar &b = bars[size_t(index)];
    b.value = value;
    if (!b.pending) {
        b.pending = true;
        pendingBars.push_back(index);
    }
    if (!timer.isActive()) {
        flush();
        timer.start();
    }
}

void ProgressThrottle::setValueNow(int index, int value)
{
    if (index < 0 || index >= int(bars.size()))
        return;
    Bar &b = bars[size_t(index)];
    b.value = value;
    b.pending = false;
    if (b.bar)
        showValue(b.bar, value);
}

void ProgressThrottle::flush()
{
    for (const int index : pendingBars) {
        Bar &b = bars[size_t(index)];
        if (!b.pending)
            continue;
        b.pending = false;
        if (b.bar)
            showValue(b.bar, b.value);
    }
    pendingBars.clear();
}
