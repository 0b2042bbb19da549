#pragma once

#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>

#include <vector>

// Sets progress bars without painting each step. QProgressBar::setValue repaints
// at once, and under X11 every repaint waits on the display server: per frame
// that costs more than the transfer itself. Here a bar's value is set with the
// paint left to Qt's next pass, and at most once per interval: the first change
// after a pause shows at once, the latest within one interval.
class ProgressThrottle : public QObject
{
public:
    explicit ProgressThrottle(QObject *parent = nullptr);

    // Returns the bar's index.
    int addBar(QProgressBar *bar);
    void setValue(int index, int value);
    void setValueNow(int index, int value);

    static constexpr int intervalMs = 40;

private:
    void flush();

    struct Bar
    {
        QPointer<QProgressBar> bar;
        int value = 0;
        bool pending = false;
    };
    std::vector<Bar> bars;
    std::vector<int> pendingBars;
    QTimer timer;
};
