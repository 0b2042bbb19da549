#include "core/system/epolldispatcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr int maxReady = 256;

// What wakes each kind of notifier: a hang-up or an error is read (or written)
// to be seen.
constexpr uint32_t wanted[3] = {EPOLLIN | EPOLLHUP | EPOLLERR, EPOLLOUT | EPOLLHUP | EPOLLERR,
                                EPOLLPRI};

int period(int interval, Qt::TimerType type)
{
    // Whole seconds, rounded, as Qt's own loop keeps them.
    return type == Qt::VeryCoarseTimer ? (interval + 500) / 1000 * 1000 : interval;
}

} // namespace

EpollEventDispatcher::EpollEventDispatcher(QObject *parent)
    : QAbstractEventDispatcher(parent), epoll(::epoll_create1(EPOLL_CLOEXEC)),
      wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = wake;
    if (epoll < 0 || wake < 0 || ::epoll_ctl(epoll, EPOLL_CTL_ADD, wake, &event) != 0)
        qFatal("epoll event loop: %s", strerror(errno));
}

EpollEventDispatcher::~EpollEventDispatcher()
{
    ::close(wake);
    ::close(epoll);
}

bool EpollEventDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags)
{
    interrupted.store(false, std::memory_order_relaxed);
    emit awake();
    QCoreApplication::sendPostedEvents();

    const bool withTimers = !(flags & QEventLoop::X11ExcludeTimers);
    const bool withSockets = !(flags & QEventLoop::ExcludeSocketNotifiers);
    const bool wait = flags & QEventLoop::WaitForMoreEvents;
    if (wait)
        emit aboutToBlock();
    if (interrupted.load(std::memory_order_relaxed))
        return false;
    const int timeout = !wait ? 0 : withTimers ? msToNextTimer() : -1;

    int handled = 0;
    if (withSockets) {
        epoll_event ready[maxReady];
        const int n = ::epoll_wait(epoll, ready, maxReady, timeout);
        if (n < 0 && errno != EINTR)
            qWarning("epoll_wait: %s", strerror(errno));
        // What epoll said is about the notifiers as they are now; a handler may
        // change them for the rest of this pass.
        const quint64 seen = changes;
        for (int i = 0; i < n; ++i) {
            if (ready[i].data.fd == wake)
                takeWakeUp();
            else
                handled += dispatchSockets(ready[i].data.fd, ready[i].events, seen);
        }
    } else {
        // The sockets stay ready (level-triggered) for a later pass; waiting on
        // them now would return at once, again and again.
        waitForWakeUp(timeout);
    }
    if (withTimers)
        handled += fireTimers();
    return handled > 0;
}

int EpollEventDispatcher::dispatchSockets(int fd, quint32 events, quint64 seen)
{
    int handled = 0;
    for (int type = 0; type < 3; ++type) {
        if (!(events & wanted[type]))
            continue;
        // A notifier may go, or another take its descriptor, while an earlier
        // one in this pass is handled (or an event loop run by it): what was
        // ready before is not for it.
        const Watch *w = watchOf(fd);
        if (!w || w->changed > seen || !w->notifiers[type])
            continue;
        QEvent event(QEvent::SockAct);
        QCoreApplication::sendEvent(w->notifiers[type], &event);
        ++handled;
    }
    return handled;
}

void EpollEventDispatcher::takeWakeUp()
{
    quint64 count;
    [[maybe_unused]] const ssize_t r = ::read(wake, &count, sizeof count);
    // Cleared after the read: a wake-up from now on writes again, and one that
    // came before is seen by the posted events sent at the next pass's start.
    wakePending.store(false, std::memory_order_release);
}

void EpollEventDispatcher::waitForWakeUp(int timeout)
{
    pollfd fd{wake, POLLIN, 0};
    const int n = ::poll(&fd, 1, timeout);
    if (n < 0 && errno != EINTR)
        qWarning("poll: %s", strerror(errno));
    if (n > 0)
        takeWakeUp();
}

EpollEventDispatcher::Watch *EpollEventDispatcher::watchOf(int fd)
{
    return fd >= 0 && size_t(fd) < watches.size() ? &watches[size_t(fd)] : nullptr;
}

bool EpollEventDispatcher::hasPendingEvents()
{
    return wakePending.load(std::memory_order_acquire);
}

void EpollEventDispatcher::registerSocketNotifier(QSocketNotifier *notifier)
{
    const int fd = int(notifier->socket());
    if (fd < 0)
        return;
    if (size_t(fd) >= watches.size())
        watches.resize(size_t(fd) + 1);
    Watch &w = watches[size_t(fd)];
    w.notifiers[notifier->type()] = notifier;
    w.changed = ++changes;
    update(fd);
}

void EpollEventDispatcher::unregisterSocketNotifier(QSocketNotifier *notifier)
{
    const int fd = int(notifier->socket());
    Watch *w = watchOf(fd);
    if (!w || w->notifiers[notifier->type()] != notifier)
        return;
    w->notifiers[notifier->type()] = nullptr;
    w->changed = ++changes;
    update(fd);
}

void EpollEventDispatcher::update(int fd)
{
    Watch &w = watches[size_t(fd)];
    uint32_t events = 0;
    if (w.notifiers[QSocketNotifier::Read])
        events |= EPOLLIN;
    if (w.notifiers[QSocketNotifier::Write])
        events |= EPOLLOUT;
    if (w.notifiers[QSocketNotifier::Exception])
        events |= EPOLLPRI;
    if (!events) {
        // Fails harmlessly when the descriptor is closed already: closing took
        // it out of the set.
        if (w.added)
            ::epoll_ctl(epoll, EPOLL_CTL_DEL, fd, nullptr);
        w.added = false;
        return;
    }
    epoll_event event{};
    event.events = events;
    event.data.fd = fd;
    int result = ::epoll_ctl(epoll, w.added ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event);
    if (result != 0 && w.added && errno == ENOENT) {
        // The descriptor was closed, which took it out of the set, and its number
        // reused before its notifiers went: the new socket is added.
        result = ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event);
    } else if (result != 0 && !w.added && errno == EEXIST) {
        // Still in the set though we had let it go (its removal failed): changed.
        result = ::epoll_ctl(epoll, EPOLL_CTL_MOD, fd, &event);
    }
    if (result != 0) {
        qWarning("epoll_ctl on descriptor %d: %s", fd, strerror(errno));
        return;
    }
    w.added = true;
}

void EpollEventDispatcher::registerTimer(int timerId, int interval, Qt::TimerType timerType,
                                         QObject *object)
{
    if (timers.count(timerId))
        unregisterTimer(timerId);
    Timer &t = timers[timerId];
    t.interval = interval;
    t.type = timerType;
    t.object = object;
    t.registration = ++registrations;
    timersOf[object].push_back(timerId);
    arm(timerId, t, Clock::now() + std::chrono::milliseconds(period(interval, timerType)));
}

void EpollEventDispatcher::arm(int id, Timer &timer, Clock::time_point due)
{
    timer.due = due;
    timer.armed = ++armings;
    heap.push_back({due, timer.armed, id});
    std::push_heap(heap.begin(), heap.end(), std::greater<Due>());
}

bool EpollEventDispatcher::unregisterTimer(int timerId)
{
    const auto it = timers.find(timerId);
    if (it == timers.end())
        return false;
    QObject *object = it->second.object;
    timers.erase(it);
    forget(timerId, object);
    compactHeap();
    return true;
}

bool EpollEventDispatcher::unregisterTimers(QObject *object)
{
    const auto it = timersOf.find(object);
    if (it == timersOf.end())
        return false;
    for (const int id : it->second)
        timers.erase(id);
    timersOf.erase(it);
    compactHeap();
    return true;
}

void EpollEventDispatcher::forget(int id, QObject *object)
{
    const auto it = timersOf.find(object);
    if (it == timersOf.end())
        return;
    std::vector<int> &ids = it->second;
    ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end());
    if (ids.empty())
        timersOf.erase(it);
}

void EpollEventDispatcher::compactHeap()
{
    // Stopped timers would pile up in a heap that never reaches them: once
    // they outnumber the live ones it is rebuilt, an O(1) share per stop.
    if (heap.size() < 2 * timers.size() + 64)
        return;
    heap.clear();
    for (const auto &[id, t] : timers)
        heap.push_back({t.due, t.armed, id});
    std::make_heap(heap.begin(), heap.end(), std::greater<Due>());
}

QList<QAbstractEventDispatcher::TimerInfo>
EpollEventDispatcher::registeredTimers(QObject *object) const
{
    QList<TimerInfo> list;
    const auto it = timersOf.find(object);
    if (it != timersOf.end())
        for (const int id : it->second) {
            const Timer &t = timers.at(id);
            list.append(TimerInfo(id, t.interval, t.type));
        }
    return list;
}

int EpollEventDispatcher::remainingTime(int timerId)
{
    const auto it = timers.find(timerId);
    if (it == timers.end())
        return -1;
    const auto left = it->second.due - Clock::now();
    return int(std::max<qint64>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
}

int EpollEventDispatcher::msToNextTimer()
{
    while (!heap.empty()) {
        const Due &top = heap.front();
        const auto it = timers.find(top.id);
        if (it != timers.end() && it->second.armed == top.armed)
            break;
        std::pop_heap(heap.begin(), heap.end(), std::greater<Due>());
        heap.pop_back();
    }
    if (heap.empty())
        return -1;
    // Rounded up, so that the wait does not end a little before the timer is due.
    const auto left = heap.front().due - Clock::now();
    return int(std::max<qint64>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
}

int EpollEventDispatcher::fireTimers()
{
    const Clock::time_point now = Clock::now();
    // Every timer due now fires once in this pass, in order, even one of
    // interval 0 that is due again at once.
    std::vector<Due> due;
    while (!heap.empty() && heap.front().due <= now) {
        std::pop_heap(heap.begin(), heap.end(), std::greater<Due>());
        due.push_back(heap.back());
        heap.pop_back();
    }
    int fired = 0;
    for (const Due &d : due) {
        // An earlier timer's handler may have stopped or restarted this one.
        const auto it = timers.find(d.id);
        if (it == timers.end() || it->second.armed != d.armed)
            continue;
        Timer &t = it->second;
        // From the time it was due, so that it keeps its pace; from now when it
        // fell a whole period behind, so that it does not catch up in a burst.
        const std::chrono::milliseconds every(period(t.interval, t.type));
        arm(d.id, t, t.due + every > now ? t.due + every : now + every);
        // A handler that runs an event loop does not get its own timer again.
        if (t.firing)
            continue;
        t.firing = true;
        const quint64 registration = t.registration;
        QTimerEvent event(d.id);
        QCoreApplication::sendEvent(t.object, &event);
        ++fired;
        const auto still = timers.find(d.id);
        if (still != timers.end() && still->second.registration == registration)
            still->second.firing = false;
    }
    return fired;
}

void EpollEventDispatcher::wakeUp()
{
    // One write stands for every wake-up until the loop has read it.
    if (wakePending.exchange(true, std::memory_order_acq_rel))
        return;
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t r = ::write(wake, &one, sizeof one);
}

void EpollEventDispatcher::interrupt()
{
    interrupted.store(true, std::memory_order_relaxed);
    wakeUp();
}
