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

// The thread kept busy, as a long handler keeps it: timers fall due meanwhile.
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

} // namespace

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
        QTest::addColumn<bool>("restart");
        QTest::newRow("stopped") << false;
        QTest::newRow("restarted") << true;
    }
    void timerChangedByAnother()
    {
        // Both due in the same pass; the first changes the second before its turn.
        QFETCH(bool, restart);
        QTimer first, second;
        int secondFired = 0;
        for (QTimer *t : {&first, &second}) {
            t->setSingleShot(true);
            t->setTimerType(Qt::PreciseTimer);
        }
        connect(&second, &QTimer::timeout, [&] { ++secondFired; });
        connect(&first, &QTimer::timeout, [&] { restart ? second.start(200) : second.stop(); });
        first.start(5);
        second.start(5);
        busy(15);
        bool later = false;
        QTimer::singleShot(40, Qt::PreciseTimer, this, [&] { later = true; });
        QTRY_VERIFY(later);
        QCOMPARE(secondFired, 0);
        if (restart)
            QTRY_COMPARE(secondFired, 1);
    }

    void manyTimers()
    {
        // Restarted over and over (stale heap entries), then a third stopped for
        // good: the rest fire once each.
        constexpr size_t count = 3000;
        std::vector<std::unique_ptr<QTimer>> timers;
        std::vector<int> fired(count, 0), expected(count, 1);
        for (size_t i = 0; i < count; ++i) {
            timers.push_back(std::make_unique<QTimer>());
            timers.back()->setSingleShot(true);
            connect(timers.back().get(), &QTimer::timeout, [&fired, i] { ++fired[i]; });
        }
        for (int round = 0; round < 5; ++round)
            for (size_t i = 0; i < count; ++i)
                timers[i]->start(int(i % 25));
        for (size_t i = 0; i < count; i += 3) {
            timers[i]->stop();
            expected[i] = 0;
        }
        QTRY_VERIFY(
            std::none_of(timers.begin(), timers.end(), [](auto &t) { return t->isActive(); }));
        QVERIFY(fired == expected);
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

    void excludedSocketDoesNotSpin()
    {
        Pair pair;
        QSocketNotifier notifier(pair.fd[0], QSocketNotifier::Read);
        QSignalSpy activated(&notifier, &QSocketNotifier::activated);
        pair.send();
        // Held back while excluded, and the wait lasts until the timer.
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
        QObject receiver;
        QList<int> seen, expected;
        const long before = writeCalls();
        for (int i = 0; i < 1000; ++i) {
            QMetaObject::invokeMethod(
                &receiver, [&seen, i] { seen << i; }, Qt::QueuedConnection);
            expected << i;
        }
        const long after = writeCalls();
        if (before >= 0)
            QVERIFY2(after - before <= 10, qPrintable(QString::number(after - before)));
        QTRY_COMPARE(seen, expected);
    }

    void wokenFromAnotherThread_data()
    {
        QTest::addColumn<bool>("interrupt");
        QTest::newRow("wakeUp") << false;
        QTest::newRow("interrupt") << true;
    }
    void wokenFromAnotherThread()
    {
        QFETCH(bool, interrupt);
        QTimer guard; // ends the wait only if nothing else does
        guard.setSingleShot(true);
        guard.start(5000);
        std::thread other;
        QObject context;
        connect(dispatcher(), &QAbstractEventDispatcher::aboutToBlock, &context, [&] {
            if (!other.joinable())
                other = std::thread([interrupt] {
                    interrupt ? dispatcher()->interrupt() : dispatcher()->wakeUp();
                });
        });
        dispatcher()->processEvents(QEventLoop::WaitForMoreEvents);
        if (other.joinable())
            other.join();
        QVERIFY(guard.isActive());
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
