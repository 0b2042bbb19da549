#pragma once

#include <QAbstractEventDispatcher>

#include <atomic>
#include <chrono>
#include <unordered_map>
#include <vector>

class QSocketNotifier;

// An event loop for thousands of printer sockets: epoll tells which sockets are
// ready, where Qt's own loop asks every socket on every pass, which with N
// printers costs O(N) per answer. Every printer's connection also owns a timer,
// so the timers sit in a heap: a pass costs O(log N) for them, not O(N).
class EpollEventDispatcher : public QAbstractEventDispatcher
{
public:
    explicit EpollEventDispatcher(QObject *parent = nullptr);
    ~EpollEventDispatcher() override;

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;
    bool hasPendingEvents() override;

    void registerSocketNotifier(QSocketNotifier *notifier) override;
    void unregisterSocketNotifier(QSocketNotifier *notifier) override;

    void registerTimer(int timerId, int interval, Qt::TimerType timerType,
                       QObject *object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject *object) override;
    QList<TimerInfo> registeredTimers(QObject *object) const override;
    int remainingTime(int timerId) override;

    void wakeUp() override;
    void interrupt() override;
    void flush() override {}

private:
    using Clock = std::chrono::steady_clock;
    struct Timer
    {
        int interval;
        Qt::TimerType type;
        QObject *object;
        Clock::time_point due;
        quint64 armed;        // the heap entry that stands for this timer
        quint64 registration; // tells a timer from a later one with the same id
        bool firing = false;
    };
    // Entries of timers stopped or re-armed since stay in the heap until they
    // come to its top; `armed` tells them from the live one.
    struct Due
    {
        Clock::time_point due;
        quint64 armed;
        int id;
        bool operator>(const Due &other) const
        {
            return due != other.due ? due > other.due : armed > other.armed;
        }
    };
    struct Watch
    {
        QSocketNotifier *notifiers[3] = {nullptr, nullptr, nullptr}; // Read, Write, Exception
        bool added = false;
        quint64 changed = 0; // the count of notifier changes when it last changed
    };

    Watch *watchOf(int fd);
    int dispatchSockets(int fd, quint32 events, quint64 seen);
    void takeWakeUp();
    void waitForWakeUp(int timeout);
    void update(int fd);
    void arm(int id, Timer &timer, Clock::time_point due);
    void forget(int id, QObject *object);
    void compactHeap();
    int fireTimers();
    int msToNextTimer();

    int epoll = -1;
    int wake = -1; // eventfd
    std::atomic<bool> wakePending{false};
    std::atomic<bool> interrupted{false};
    std::vector<Watch> watches; // by descriptor
    quint64 changes = 0;        // notifiers registered or unregistered so far
    std::unordered_map<int, Timer> timers;
    std::unordered_map<QObject *, std::vector<int>> timersOf;
    std::vector<Due> heap; // a min-heap by due time, then by arming order
    quint64 armings = 0;
    quint64 registrations = 0;
};
