// Printers that send what nobody asked for, as fast as the line takes it: the
// memory of the real main window on the TCP/IP link (window shown, printers
// connected by "Połącz" as the program connects them) while they flood and once
// they stopped, and the GUI thread's CPU time meanwhile.
//
//   ./bench_flood [one|twenty|two]...   (default all three; one child process each)
//
//   one     one printer sends 2 GB unasked (or until cut off, or 30 s)
//   twenty  20 printers send 100 MB each
//   two     two printers send for 15 s
//
// Run it under an X display (Xvfb); without one it runs offscreen and says so.
#include "benchapp.h"
#include "benchmeasure.h"

#include <QApplication>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Printers on 127.0.0.1, one thread each once connected: each writes 64 KiB
// pieces until it has sent `bytesEach`, `seconds` have passed, or the program
// cut the line.
class Flooders
{
public:
    Flooders(int count, long long bytesEach, double seconds)
        : count(count), bytesEach(bytesEach), seconds(seconds)
    {
        listener = listenOnLoopback(0, 64, port);
        acceptor = std::thread([this] { run(); });
    }
    ~Flooders()
    {
        acceptor.join();
        for (std::thread &t : writers)
            t.join();
        ::close(listener);
    }

    quint16 port = 0;
    std::atomic<long long> sent{0};
    std::atomic<int> done{0};
    std::atomic<int> cut{0};

private:
    void run()
    {
        for (int i = 0; i < count; ++i) {
            const int fd = ::accept(listener, nullptr, nullptr);
            if (fd < 0)
                return;
            writers.emplace_back([this, fd] { flood(fd); });
        }
    }
    void flood(int fd)
    {
        static const std::vector<char> piece(64 * 1024, 'x');
        const Clock::time_point start = Clock::now();
        long long mine = 0;
        while (mine < bytesEach &&
               std::chrono::duration<double>(Clock::now() - start).count() < seconds) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const ssize_t n = ::send(fd, piece.data(), piece.size(), MSG_NOSIGNAL);
            if (n <= 0) {
                ++cut;
                break;
            }
            mine += n;
            sent += n;
        }
        ::close(fd);
        ++done;
    }

    int count;
    long long bytesEach;
    double seconds;
    int listener = -1;
    std::thread acceptor;
    std::vector<std::thread> writers;
};

int child(int argc, char **argv, const char *scenario)
{
    int printers = 1;
    long long bytesEach = 2LL << 30;
    double seconds = 30;
    if (std::strcmp(scenario, "twenty") == 0) {
        printers = 20;
        bytesEach = 100LL << 20;
    } else if (std::strcmp(scenario, "two") == 0) {
        printers = 2;
        bytesEach = 1LL << 40;
        seconds = 15;
    }
    BenchApplication app(argc, argv);
    ShownWindow shown;
    if (!shown.open())
        return 1;
    QTest::qWait(200);
    const long baseKib = kibFromStatus("VmRSS:");

    Flooders flooders(printers, bytesEach, seconds);
    addLoopbackPrinters(shown.tester.linkSettings(), printers, flooders.port);
    const double cpu = threadCpuMs();
    const Clock::time_point start = Clock::now();
    shown.tester.openLink();
    if (!QTest::qWaitFor([&] { return flooders.done.load() == printers; }, 120000))
        std::fprintf(stderr, "%s: printers still sending after 120 s\n", scenario);
    const double floodMs = msSince(start);
    const double cpuMs = threadCpuMs() - cpu;
    QTest::qWait(1000); // the program reads what is left, then idles
    const long heldKib = kibFromStatus("VmRSS:");
    const long peakKib = kibFromStatus("VmHWM:");
    std::printf("%-7s %8d %10.1f %8.0f %9ld %9ld %9ld %8.0f %6d %6d   %s\n", scenario, printers,
                double(flooders.sent.load()) / (1 << 20), floodMs, baseKib, peakKib, heldKib, cpuMs,
                flooders.cut.load(), int(shown.notifier.notices.size()),
                qPrintable(QGuiApplication::platformName()));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--one") == 0)
        return child(1, argv, argv[2]);

    QCoreApplication app(argc, argv);
    QStringList scenarios;
    for (int i = 1; i < argc; ++i)
        scenarios << QString::fromLocal8Bit(argv[i]);
    if (scenarios.isEmpty())
        scenarios = QStringList{"one", "twenty", "two"};
    std::printf("Printers flooding the shown main window with unasked bytes over TCP/IP.\n"
                "sent = MiB the printers got onto the line; ms = until every printer stopped;\n"
                "base = RSS with the window shown before the link; peak = peak RSS (VmHWM);\n"
                "held = RSS 1 s after the flood ended; cpu = GUI thread CPU ms during the flood;\n"
                "cut = printers whose line the program cut; boxes = message boxes raised.\n");
    std::printf("%-7s %8s %10s %8s %9s %9s %9s %8s %6s %6s   %s\n", "case", "printers", "sent MiB",
                "ms", "base KiB", "peak KiB", "held KiB", "cpu ms", "cut", "boxes", "platform");
    runEachInChild(scenarios, -7);
    return 0;
}
