#pragma once

#include <QAbstractEventDispatcher>

#include <chrono>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class QSocketNotifier;

// An event loop for thousands of printer sockets: epoll tells which sockets are
// ready, where Qt's own loop asks every socket on every pass, which with N
// printers costs O(N) per answer. Timers are kept in a plain list: a run has a
// few of them, not one per frame.
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
        int id;
        int interval;
        Qt::TimerType type;
        QObject *object;
        Clock::time_point next;
    };
    struct Watch
    {
        QSocketNotifier *notifiers[3] = {nullptr, nullptr, nullptr}; // Read, Write, Exception
        bool added = false;
    };

    void update(int fd);
    int fireTimers();
    int msToNextTimer() const;

    int epoll = -1;
    int wake = -1; // eventfd
    std::unordered_map<int, Watch> watches;
    std::unordered_set<int> changedThisPass; // fds whose notifiers went during a dispatch
    bool dispatching = false;
    std::vector<Timer> timers;
    QAtomicInt interrupted = 0;
};
