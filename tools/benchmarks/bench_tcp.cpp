// Programming a 96-row logo into N printers at once over TCP/IP: the real main
// window with its Connections and the shown progress dialog, against printers on
// loopback served by another thread that answer each frame the moment it is
// whole; beside it, in the same process and against the same printers, the
// floor: one epoll loop doing the same stop-and-wait to all N.
//
//   ./bench_tcp [N...]          (default 1 10 100 500 1000; one child process per N)
//
// Run it under an X display (Xvfb) for the user's figure; without one it runs
// on the offscreen platform and says so. The child inherits QT_NO_GLIB if set;
// otherwise it chooses the event loop as the program does.
#include "benchapp.h"
#include "benchmeasure.h"
#include "epollfloor.h"
#include "support/mainwindowtester.h"
#include "support/recordingnotifier.h"
#include "core/printer/frame.h"
#include "ui/progress/tcpprogressdialog.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int rows = 96;

// The sending thread's CPU time in the last run.
double lastCpuMs = 0;

// Printers on 127.0.0.1: one thread, one epoll loop, every connection answered
// with 0x64 for each whole 130-byte frame.
class Printers
{
public:
    Printers()
    {
        listener = listenOnLoopback(SOCK_NONBLOCK, 4096, port);
        worker = std::thread([this] { run(); });
    }
    ~Printers()
    {
        stop = true;
        worker.join();
        for (auto &c : pending)
            ::close(c.first);
        ::close(listener);
    }

    quint16 port = 0;
    std::atomic<long> frames{0};

private:
    void run()
    {
        const int ep = ::epoll_create1(0);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = listener;
        ::epoll_ctl(ep, EPOLL_CTL_ADD, listener, &event);
        std::vector<epoll_event> ready(1024);
        char buffer[4096];
        while (!stop) {
            const int n = ::epoll_wait(ep, ready.data(), int(ready.size()), 20);
            for (int i = 0; i < n; ++i) {
                const int fd = ready[size_t(i)].data.fd;
                if (fd == listener) {
                    int c;
                    while ((c = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK)) >= 0) {
                        const int one = 1;
                        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                        epoll_event e{};
                        e.events = EPOLLIN;
                        e.data.fd = c;
                        ::epoll_ctl(ep, EPOLL_CTL_ADD, c, &e);
                        pending[c] = 0;
                    }
                    continue;
                }
                const ssize_t got = ::read(fd, buffer, sizeof buffer);
                if (got <= 0) {
                    ::epoll_ctl(ep, EPOLL_CTL_DEL, fd, nullptr);
                    ::close(fd);
                    pending.erase(fd);
                    continue;
                }
                int &partial = pending[fd];
                partial += int(got);
                for (; partial >= frameSize; partial -= frameSize) {
                    ++frames;
                    if (::write(fd, "\x64", 1) != 1)
                        break;
                }
            }
        }
        ::close(ep);
    }

    int listener = -1;
    std::atomic<bool> stop{false};
    std::unordered_map<int, int> pending; // bytes of a frame not yet whole
    std::thread worker;
};

// The floor against the same printers: N sockets to the one port.
double floorRun(int n, quint16 port)
{
    const epollfloor::Result floor = epollfloor::run(std::vector<quint16>(size_t(n), port), rows);
    lastCpuMs = floor.cpuMs;
    return floor.sendMs;
}

// "Wyślij" to all N printers; the time until the last one's finished(). The run
// counts only if the dialog then shows every row ended, "Zamknij" available.
double dialogMs = 0;

double programRun(MainWindowTester &tester, int n, RecordingNotifier &notifier)
{
    tester.openLink();
    const LinkSettings &link = tester.linkSettings();
    const bool up = QTest::qWaitFor(
        [&] {
            for (QTcpSocket *socket : link.tcpSockets)
                if (socket->state() != QAbstractSocket::ConnectedState)
                    return false;
            return true;
        },
        30000);
    if (!up || !notifier.isEmpty())
        return -1;
    int finished = 0;
    bool rowsShown = false;
    double ms = -1;
    double cpu = 0;
    Clock::time_point start;
    for (Connection *connection : tester.connections())
        QObject::connect(connection, &Connection::finished, [&] {
            if (++finished < n)
                return;
            ms = msSince(start);
            lastCpuMs = threadCpuMs() - cpu;
            QTimer::singleShot(0, [&, n] {
                auto *dialog = qobject_cast<TcpProgressDialog *>(QApplication::activeModalWidget());
                if (!dialog)
                    return;
                // Every row must have ended in its words, the summary with them.
                const QString final = QStringLiteral("Zaprogramowano %1 z %1, już zaprogramowane: "
                                                     "0, błędy: 0")
                                          .arg(n);
                rowsShown = dialog->closeButton->isEnabled() && dialog->summary() == final;
                if (!rowsShown)
                    std::fprintf(stderr, "  summary: %s\n", qPrintable(dialog->summary()));
                dialog->close();
            });
        });
    QTimer guard; // a printer that never finishes must not hang the benchmark
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget *dialog = QApplication::activeModalWidget())
            dialog->close();
    });
    guard.start(120000);
    // Fires once the dialog's own event loop runs: the dialog is built and shown.
    QTimer::singleShot(0, [&] { dialogMs = msSince(start); });
    // The entries share one port: past its daily write budget the window asks.
    notifier.answers = {0};
    cpu = threadCpuMs();
    start = Clock::now();
    tester.send();
    notifier.notices.erase(
        std::remove_if(notifier.notices.begin(), notifier.notices.end(),
                       [](const Notice &n) { return n.kind == Notice::Question; }),
        notifier.notices.end());
    return notifier.isEmpty() && finished == n && rowsShown ? ms : -1;
}

int child(int argc, char **argv, int n)
{
    raiseOpenFileLimit();
    BenchApplication app(argc, argv);
    ShownWindow shown;
    if (!shown.open())
        return 1;
    Printers printers;
    addLoopbackPrinters(shown.tester.linkSettings(), n, printers.port);
    QTest::qWait(100);
    const long baseKib = kibFromStatus("VmRSS:");

    const int repetitions = n <= 100 ? 5 : n <= 500 ? 3 : 2;
    std::vector<double> program, bare, programCpu, bareCpu;
    for (int rep = 0; rep < repetitions; ++rep) {
        const double p = programRun(shown.tester, n, shown.notifier);
        const double pCpu = lastCpuMs;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const double f = floorRun(n, printers.port);
        const double fCpu = lastCpuMs;
        if (p < 0 || f < 0) {
            std::fprintf(stderr, "N=%d run %d failed (%.1f, %.1f)\n", n, rep, p, f);
            return 1;
        }
        std::fprintf(stderr,
                     "  N=%d run %d: program %.1f ms (dialog up after %.1f ms, %.1f ms CPU), "
                     "floor %.1f ms (%.1f ms CPU)\n",
                     n, rep, p, dialogMs, pCpu, f, fCpu);
        program.push_back(p);
        bare.push_back(f);
        programCpu.push_back(pCpu);
        bareCpu.push_back(fCpu);
    }
    const long peakKib = kibFromStatus("VmHWM:");
    std::sort(program.begin(), program.end());
    std::sort(bare.begin(), bare.end());
    std::sort(programCpu.begin(), programCpu.end());
    std::sort(bareCpu.begin(), bareCpu.end());
    const double p = program[program.size() / 2];
    const double f = bare[bare.size() / 2];
    const double pc = programCpu[programCpu.size() / 2];
    const double fc = bareCpu[bareCpu.size() / 2];
    const char *dispatcher =
        QAbstractEventDispatcher::instance()->inherits("QEventDispatcherGlib") ? "GLib" : "Unix";
    std::printf("%5d %10.1f %10.1f %6.2f %9.2f %9.2f %9.2f %9.2f %8ld %8.1f   %s, %s\n", n, p, f,
                p / f, 1000.0 * p / (n * rows), 1000.0 * f / (n * rows), 1000.0 * pc / (n * rows),
                1000.0 * fc / (n * rows), peakKib, double(peakKib - baseKib) / n,
                qPrintable(QGuiApplication::platformName()), dispatcher);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--one") == 0)
        return child(1, argv, std::atoi(argv[2]));

    QCoreApplication app(argc, argv);
    QStringList sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::number(std::atoi(argv[i]));
    if (sizes.isEmpty())
        sizes = QStringList{"1", "10", "100", "500", "1000"};
    std::printf("96 rows to N printers at once, medians of repeated runs; the floor is one\n"
                "epoll stop-and-wait loop in the same process against the same printers.\n"
                "per frame = wall / (N x 96); cpu = the sending thread's CPU time / (N x 96);\n"
                "memory = peak RSS, and its growth over the shown window before the link, per\n"
                "printer (sockets, Connections, dialog rows).\n");
    std::printf("%5s %10s %10s %6s %9s %9s %9s %9s %8s %8s   %s\n", "N", "prog ms", "floor ms",
                "ratio", "prog us/f", "floor us/f", "cpu us/f", "fl cpu/f", "peak KiB", "KiB/prt",
                "platform, event loop");
    runEachInChild(sizes, 5);
    return 0;
}
