#include "core/system/epolldispatcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

EpollEventDispatcher::EpollEventDispatcher(QObject *parent)
    : QAbstractEventDispatcher(parent), epoll(::epoll_create1(EPOLL_CLOEXEC)),
      wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = wake;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, wake, &event);
}

EpollEventDispatcher::~EpollEventDispatcher()
{
    ::close(wake);
    ::close(epoll);
}

bool EpollEventDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags)
{
    interrupted.storeRelaxed(0);
    emit awake();
    QCoreApplication::sendPostedEvents();

    const bool wait = flags & QEventLoop::WaitForMoreEvents;
    if (wait)
        emit aboutToBlock();
    if (interrupted.loadRelaxed())
        return false;
    int timeout = 0;
    if (wait) {
        timeout = msToNextTimer();
    }

    epoll_event ready[256];
    int n = ::epoll_wait(epoll, ready, 256, timeout);
    if (n < 0 && errno != EINTR)
        qWarning("epoll_wait: %s", strerror(errno));
    int handled = 0;
    if (!(flags & QEventLoop::ExcludeSocketNotifiers)) {
        dispatching = true;
        changedThisPass.clear();
        for (int i = 0; i < n; ++i) {
            const int fd = ready[i].data.fd;
            const uint32_t events = ready[i].events;
            if (fd == wake) {
                quint64 count;
                [[maybe_unused]] const ssize_t r = ::read(wake, &count, sizeof count);
                continue;
            }
            static const uint32_t wanted[3] = {EPOLLIN | EPOLLHUP | EPOLLERR,
                                               EPOLLOUT | EPOLLHUP | EPOLLERR, EPOLLPRI};
            for (int type = 0; type < 3; ++type) {
                // A notifier may go, or another take its descriptor, while an
                // earlier one in this pass is handled: only what was asked for.
                if (!(events & wanted[type]) || changedThisPass.count(fd))
                    continue;
                const auto it = watches.find(fd);
                if (it == watches.end() || !it->second.notifiers[type])
                    continue;
                QEvent event(QEvent::SockAct);
                QCoreApplication::sendEvent(it->second.notifiers[type], &event);
                ++handled;
            }
        }
        dispatching = false;
    } else if (n > 0) {
        // Not now: the level-triggered readiness stays for the next pass; only
        // the wake-up is taken.
        quint64 count;
        [[maybe_unused]] const ssize_t r = ::read(wake, &count, sizeof count);
    }
    if (!(flags & QEventLoop::X11ExcludeTimers))
        handled += fireTimers();
    return handled > 0;
}

bool EpollEventDispatcher::hasPendingEvents()
{
    return false;
}

void EpollEventDispatcher::registerSocketNotifier(QSocketNotifier *notifier)
{
    const int fd = int(notifier->socket());
    watches[fd].notifiers[notifier->type()] = notifier;
    update(fd);
}

void EpollEventDispatcher::unregisterSocketNotifier(QSocketNotifier *notifier)
{
    const int fd = int(notifier->socket());
    const auto it = watches.find(fd);
    if (it == watches.end() || it->second.notifiers[notifier->type()] != notifier)
        return;
    it->second.notifiers[notifier->type()] = nullptr;
    if (dispatching)
        changedThisPass.insert(fd);
    update(fd);
}

void EpollEventDispatcher::update(int fd)
{
    const auto it = watches.find(fd);
    if (it == watches.end())
        return;
    Watch &w = it->second;
    uint32_t events = 0;
    if (w.notifiers[QSocketNotifier::Read])
        events |= EPOLLIN;
    if (w.notifiers[QSocketNotifier::Write])
        events |= EPOLLOUT;
    if (w.notifiers[QSocketNotifier::Exception])
        events |= EPOLLPRI;
    if (!events) {
        if (w.added)
            ::epoll_ctl(epoll, EPOLL_CTL_DEL, fd, nullptr);
        watches.erase(it);
        return;
    }
    epoll_event event{};
    event.events = events;
    event.data.fd = fd;
    if (w.added) {
        ::epoll_ctl(epoll, EPOLL_CTL_MOD, fd, &event);
    } else if (::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) == 0) {
        w.added = true;
    } else if (errno == EEXIST) {
        // The descriptor was closed and reused without the old notifier going.
        ::epoll_ctl(epoll, EPOLL_CTL_MOD, fd, &event);
        w.added = true;
    }
}

void EpollEventDispatcher::registerTimer(int timerId, int interval, Qt::TimerType timerType,
                                         QObject *object)
{
    timers.push_back(
        {timerId, interval, timerType, object, Clock::now() + std::chrono::milliseconds(interval)});
}

bool EpollEventDispatcher::unregisterTimer(int timerId)
{
    const auto it = std::find_if(timers.begin(), timers.end(),
                                 [timerId](const Timer &t) { return t.id == timerId; });
    if (it == timers.end())
        return false;
    timers.erase(it);
    return true;
}

bool EpollEventDispatcher::unregisterTimers(QObject *object)
{
    const auto end = std::remove_if(timers.begin(), timers.end(),
                                    [object](const Timer &t) { return t.object == object; });
    const bool any = end != timers.end();
    timers.erase(end, timers.end());
    return any;
}

QList<QAbstractEventDispatcher::TimerInfo>
EpollEventDispatcher::registeredTimers(QObject *object) const
{
    QList<TimerInfo> list;
    for (const Timer &t : timers)
        if (t.object == object)
            list.append(TimerInfo(t.id, t.interval, t.type));
    return list;
}

int EpollEventDispatcher::remainingTime(int timerId)
{
    for (const Timer &t : timers)
        if (t.id == timerId)
            return int(std::max<qint64>(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(t.next - Clock::now())
                       .count()));
    return -1;
}

int EpollEventDispatcher::msToNextTimer() const
{
    if (timers.empty())
        return -1;
    Clock::time_point next = timers.front().next;
    for (const Timer &t : timers)
        next = std::min(next, t.next);
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(next - Clock::now());
    // Rounded up, so that the wait does not end a little before the timer is due.
    return us.count() <= 0 ? 0 : int((us.count() + 999) / 1000);
}

int EpollEventDispatcher::fireTimers()
{
    const Clock::time_point now = Clock::now();
    std::vector<int> due;
    for (const Timer &t : timers)
        if (t.next <= now)
            due.push_back(t.id);
    int fired = 0;
    for (const int id : due) {
        // An earlier timer's handler may have stopped or restarted this one.
        const auto it =
            std::find_if(timers.begin(), timers.end(), [id](const Timer &t) { return t.id == id; });
        if (it == timers.end() || it->next > now)
            continue;
        it->next += std::chrono::milliseconds(it->interval);
        if (it->next <= now)
            it->next = now + std::chrono::milliseconds(it->interval);
        QObject *object = it->object;
        QTimerEvent event(id);
        QCoreApplication::sendEvent(object, &event);
        ++fired;
    }
    return fired;
}

void EpollEventDispatcher::wakeUp()
{
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t r = ::write(wake, &one, sizeof one);
}

void EpollEventDispatcher::interrupt()
{
    interrupted.storeRelaxed(1);
    wakeUp();
}
