#pragma once

#include <QObject>

#include <initializer_list>

class QSocketNotifier;

// Turns Unix signals into a Qt signal on the event loop: the handler only writes
// the signal's number to a pipe, the one thing it may safely do. One watch at a
// time in a process; the previous actions come back when it goes.
class SignalWatch : public QObject
{
    Q_OBJECT

public:
    // After `hardAfter` signals (0: never) the next one takes its default action,
    // so that a program stuck on the way out can still be ended.
    explicit SignalWatch(std::initializer_list<int> signalNumbers, int hardAfter = 0,
                         QObject *parent = nullptr);
    ~SignalWatch() override;

    bool isActive() const { return notifier != nullptr; }

signals:
    // Once per signal caught, in order; `count` is 1 for the first.
    void caught(int signalNumber, int count);

private:
    void readPipe();

    QSocketNotifier *notifier = nullptr;
    QList<int> watched;
    int count = 0;
};
