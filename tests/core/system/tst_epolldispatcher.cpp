// kelm-logo's epoll event loop, installed as this test's own: timers, socket
// notifiers (one going in the middle of a pass), posted events, and waking a
// loop that waits from another thread.
#include "core/system/epolldispatcher.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <future>
#include <memory>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// The main thread's.
QAbstractEventDispatcher *dispatcher()
{
    return QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread());
}

// The thread kept busy elsewhere, as a long handler keeps it: timers fall due
// meanwhile.
void busy(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
    }
}

// A connected pair of local sockets; fd[0] is watched, fd[1] writes to it.
struct Pair
{
    Pair() { ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fd); }
    ~Pair()
    {
        for (const int f : fd)
            if (f >= 0)
                ::close(f);
    }
    void send() { QCOMPARE(::write(fd[1], "x", 1), ssize_t(1)); }
    void take()
    {
        char c;
        [[maybe_unused]] const ssize_t r = ::read(fd[0], &c, 1);
    }
    int fd[2] = {-1, -1};
};

struct Numbered : QEvent
{
    explicit Numbered(int n) : QEvent(QEvent::User), n(n) {}
    int n;
};

class Recorder : public QObject
{
public:
    QList<int> seen;
    bool event(QEvent *e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        seen << static_cast<Numbered *>(e)->n;
        return true;
    }
};

// Runs `act` on another thread once the loop is about to wait.
class WhenBlocked
{
public:
    explicit WhenBlocked(std::function<void()> act)
    {
        std::shared_future<void> blocked = go.get_future().share();
        QObject::connect(dispatcher(), &QAbstractEventDispatcher::aboutToBlock, &context, [this] {
            if (!started)
                go.set_value();
            started = true;
        });
        thread = std::thread([blocked, act] {
            blocked.wait();
            act();
        });
    }
    ~WhenBlocked()
    {
        if (!started)
            go.set_value();
        thread.join();
    }

private:
    QObject context;
    bool started = false;
    std::promise<void> go;
    std::thread thread;
};

// Write system calls of this process so far, or -1.
long writeCalls()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n'))
        if (line.startsWith("syscw:"))
            return line.mid(6).trimmed().toLong();
    return -1;
}

enum Way
{
    WakeUp,
    Post,
    Interrupt,
    Exit
};

} // namespace

Q_DECLARE_METATYPE(Way)

class TstEpollDispatcher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dynamic_cast<EpollEventDispatcher *>(dispatcher())); }

    void timersFireInOrder()
    {
        QStringList fired;
        int repeats = 0;
        QTimer repeating;
        repeating.setTimerType(Qt::PreciseTimer);
        connect(&repeating, &QTimer::timeout, [&] { ++repeats; });
        repeating.start(4);
        for (const int ms : {60, 20, 40})
            QTimer::singleShot(ms, Qt::PreciseTimer, this,
                               [&fired, ms] { fired << QString::number(ms); });
        QTRY_VERIFY(fired.size() == 3 && repeats >= 3);
        QCOMPARE(fired, QStringList({"20", "40", "60"}));
    }

    void timerChangedByAnother_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("stopped") << "stop";
        QTest::newRow("restarted") << "start";
        QTest::newRow("deleted") << "delete";
    }
    void timerChangedByAnother()
    {
        // Both due in the same pass; the first changes the second before its turn.
        QFETCH(QString, change);
        QTimer first;
        auto second = new QTimer(this);
        int secondFired = 0;
        for (QTimer *t : {&first, second}) {
            t->setSingleShot(true);
            t->setTimerType(Qt::PreciseTimer);
        }
        connect(second, &QTimer::timeout, [&] { ++secondFired; });
        connect(&first, &QTimer::timeout, [&] {
            if (change == "stop")
                second->stop();
            else if (change == "start")
                second->start(200);
            else
                delete second;
        });
        first.start(5);
        second->start(5);
        busy(15);
        bool later = false;
        QTimer::singleShot(40, Qt::PreciseTimer, this, [&] { later = true; });
        QTRY_VERIFY(later);
        QCOMPARE(secondFired, 0);
        if (change == "start")
            QTRY_COMPARE(secondFired, 1);
        if (change != "delete")
            delete second;
    }

    void manyTimers()
    {
        // Started and stopped over and over (heaps of stale entries), then a
        // third of them stopped for good: the rest fire once each.
        constexpr int count = 3000;
        std::vector<std::unique_ptr<QTimer>> timers;
        std::vector<int> fired(count, 0);
        for (int i = 0; i < count; ++i) {
            timers.push_back(std::make_unique<QTimer>());
            timers.back()->setSingleShot(true);
            connect(timers.back().get(), &QTimer::timeout, [&fired, i] { ++fired[size_t(i)]; });
        }
        for (int round = 0; round < 5; ++round)
            for (int i = 0; i < count; ++i)
                timers[size_t(i)]->start(i % 25);
        for (int i = 0; i < count; i += 3)
            timers[size_t(i)]->stop();
        QTRY_VERIFY(
            std::none_of(timers.begin(), timers.end(), [](auto &t) { return t->isActive(); }));
        for (int i = 0; i < count; ++i)
            QCOMPARE(fired[size_t(i)], i % 3 == 0 ? 0 : 1);
    }

    void lateTimerDoesNotBurst()
    {
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        int fired = 0;
        connect(&timer, &QTimer::timeout, [&] {
            if (++fired == 1)
                busy(200); // three periods and more
        });
        timer.start(60);
        QTRY_COMPARE(fired, 1);
        QCoreApplication::processEvents();
        QCOMPARE(fired, 2);
        QCoreApplication::processEvents();
        QCOMPARE(fired, 2);
    }

    void timerBookkeeping()
    {
        QObject owner;
        const int quick = owner.startTimer(1000);
        const int slow = owner.startTimer(3000, Qt::VeryCoarseTimer);
        const auto listed = dispatcher()->registeredTimers(&owner);
        QCOMPARE(listed.size(), 2);
        QCOMPARE(listed.at(0).timerId, quick);
        QCOMPARE(listed.at(1).interval, 3000);
        QCOMPARE(listed.at(1).timerType, Qt::VeryCoarseTimer);
        const int left = dispatcher()->remainingTime(quick);
        QVERIFY2(left > 0 && left <= 1000, qPrintable(QString::number(left)));
        owner.killTimer(quick);
        QCOMPARE(dispatcher()->remainingTime(quick), -1);
        QCOMPARE(dispatcher()->registeredTimers(&owner).size(), 1);
        QVERIFY(dispatcher()->unregisterTimers(&owner));
        QCOMPARE(dispatcher()->remainingTime(slow), -1);
        QVERIFY(dispatcher()->registeredTimers(&owner).isEmpty());
        QVERIFY(!dispatcher()->unregisterTimers(&owner));
    }

    void socketNotifier()
    {
        Pair pair;
        QSocketNotifier notifier(pair.fd[0], QSocketNotifier::Read);
        QSignalSpy activated(&notifier, &QSocketNotifier::activated);
        pair.send();
        // Held back while excluded, and the wait lasts until the timer: a ready
        // socket must not end it at once.
        bool timerFired = false;
        QTimer::singleShot(20, Qt::PreciseTimer, this, [&] { timerFired = true; });
        for (int pass = 0; pass < 3 && !timerFired; ++pass)
            dispatcher()->processEvents(QEventLoop::ExcludeSocketNotifiers |
                                        QEventLoop::WaitForMoreEvents);
        QVERIFY(timerFired);
        QCOMPARE(activated.count(), 0);
        QVERIFY(activated.wait(5000));
    }

    void notifierGoneMidPass_data()
    {
        QTest::addColumn<bool>("closedFirst");
        QTest::newRow("notifier deleted, descriptor reused") << false;
        QTest::newRow("descriptor closed and reused, notifier kept") << true;
    }
    void notifierGoneMidPass()
    {
        // Two sockets ready in one pass: the first handled takes the other's
        // notifier away and a new, silent socket gets its descriptor number.
        QFETCH(bool, closedFirst);
        Pair pairs[2];
        std::unique_ptr<QSocketNotifier> notifiers[2];
        int activations[2] = {0, 0};
        Pair fresh;
        std::unique_ptr<QSocketNotifier> reused;
        int reusedActivations = 0;
        for (int i = 0; i < 2; ++i) {
            notifiers[i] = std::make_unique<QSocketNotifier>(pairs[i].fd[0], QSocketNotifier::Read);
            connect(notifiers[i].get(), &QSocketNotifier::activated, [&, i] {
                ++activations[i];
                pairs[i].take();
                if (reused)
                    return;
                const int other = 1 - i;
                const int fd = pairs[other].fd[0];
                if (!closedFirst)
                    notifiers[other].reset();
                ::close(fd);
                QCOMPARE(::dup2(fresh.fd[0], fd), fd);
                ::close(fresh.fd[0]);
                fresh.fd[0] = pairs[other].fd[0]; // closed with `fresh`
                pairs[other].fd[0] = -1;
                reused = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
                connect(reused.get(), &QSocketNotifier::activated, [&] {
                    ++reusedActivations;
                    fresh.take();
                });
            });
        }
        pairs[0].send();
        pairs[1].send();
        QTRY_COMPARE(activations[0] + activations[1], 1);
        for (int pass = 0; pass < 3; ++pass)
            QCoreApplication::processEvents();
        QCOMPARE(activations[0] + activations[1], 1);
        QCOMPARE(reusedActivations, 0);
        // The new socket on that number is watched.
        fresh.send();
        QTRY_COMPARE(reusedActivations, 1);
    }

    void postedEvents()
    {
        // In order, and one wake-up write for all of them (a few more writes
        // are the sanitizers' own).
        Recorder recorder;
        const long before = writeCalls();
        for (int i = 0; i < 1000; ++i)
            QCoreApplication::postEvent(&recorder, new Numbered(i));
        const long after = writeCalls();
        if (before >= 0)
            QVERIFY2(after - before <= 10, qPrintable(QString::number(after - before)));
        QTRY_COMPARE(recorder.seen.size(), 1000);
        for (int i = 0; i < 1000; ++i)
            QCOMPARE(recorder.seen.at(i), i);
    }

    void wokenFromAnotherThread_data()
    {
        QTest::addColumn<Way>("way");
        QTest::newRow("wakeUp ends processEvents' wait") << WakeUp;
        QTest::newRow("a posted event ends it") << Post;
        QTest::newRow("interrupt ends it") << Interrupt;
        QTest::newRow("exit ends exec") << Exit;
    }
    void wokenFromAnotherThread()
    {
        QFETCH(Way, way);
        Recorder recorder;
        QEventLoop loop;
        // Only if nothing else ends the wait.
        QTimer guard;
        guard.setSingleShot(true);
        guard.start(5000);
        {
            WhenBlocked other([&] {
                if (way == WakeUp)
                    dispatcher()->wakeUp();
                else if (way == Post)
                    QCoreApplication::postEvent(&recorder, new Numbered(1));
                else if (way == Interrupt)
                    dispatcher()->interrupt();
                else
                    loop.exit(7);
            });
            if (way == Exit)
                QCOMPARE(loop.exec(), 7);
            else
                dispatcher()->processEvents(QEventLoop::WaitForMoreEvents);
        }
        QVERIFY(guard.isActive());
        if (way == Post)
            QTRY_COMPARE(recorder.seen, QList<int>{1});
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication::setEventDispatcher(new EpollEventDispatcher);
    QCoreApplication app(argc, argv);
    TstEpollDispatcher test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_epolldispatcher.moc"
