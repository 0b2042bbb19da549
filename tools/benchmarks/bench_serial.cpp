// What the program adds to each frame of a serial transfer, measured against a
// printer that answers at once, next to a bare stop-and-wait loop on the same
// kind of line as the floor. The window is shown and exposed, as the operator
// has it: run it under an X display (Xvfb) for the user's figure; without one
// it runs on the offscreen platform and says so.
//
//   ./bench_serial [repetitions]
#include "benchapp.h"
#include "benchpicture.h"
#include "support/mainwindowtester.h"
#include "support/ptyprinter.h"
#include "support/recordingnotifier.h"
#include "support/testfolder.h"
#include "core/printer/frame.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <poll.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int rows = 96;

// A printer on a thread of its own, so that it answers each frame the moment the
// frame is whole instead of when the program's event loop lets it.
class ThreadPrinter
{
public:
    ThreadPrinter(int masterFd, int frames) : worker([=] { run(masterFd, frames); }) {}
    ~ThreadPrinter() { join(); }

    void join()
    {
        if (worker.joinable())
            worker.join();
    }

    // For each frame r but the last: from the printer's answer to r until frame
    // r + 1 is whole. That is the write-to-write time of the sender minus the
    // printer's own time (frame whole to answer written).
    std::vector<double> senderMs() const
    {
        std::vector<double> gaps;
        for (size_t r = 0; r + 1 < received.size(); ++r)
            gaps.push_back(
                std::chrono::duration<double, std::milli>(received[r + 1] - answered[r]).count());
        return gaps;
    }

private:
    void run(int fd, int frames)
    {
        FrameStream stream;
        char buffer[4096];
        pollfd readable{fd, POLLIN, 0};
        while (int(received.size()) < frames && ::poll(&readable, 1, 10000) > 0) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            const Clock::time_point whole = Clock::now();
            for (int i = stream.feed(QByteArray(buffer, int(n))).size(); i > 0; --i) {
                received.push_back(whole);
                if (::write(fd, "\x64", 1) != 1)
                    return;
                answered.push_back(Clock::now());
            }
        }
    }

    std::vector<Clock::time_point> received;
    std::vector<Clock::time_point> answered;
    std::thread worker; // last, so that the lists exist before it runs
};

// One 96-row logo through MainWindow, as "Wyślij" sends it.
std::vector<double> programRun(const QString &picture)
{
    PtyPair pty;
    RecordingNotifier notifier;
    MainWindow window(&notifier);
    MainWindowTester tester(window);
    window.show();
    if (!pty.isValid() || !tester.loadFile(picture) || !QTest::qWaitForWindowExposed(&window))
        return {};
    LinkSettings &link = tester.linkSettings();
    link.linkMode = 1;
    link.comPortName = pty.slavePath();
    link.comPortChosen = true;
    tester.openLink();
    if (!link.comPortOpen)
        return {};

    ThreadPrinter printer(pty.masterFd(), rows);
    QEventLoop loop;
    // Connected after the window's own slot, so it sees the reply already handled.
    QObject::connect(link.serialPort, &QSerialPort::readyRead, &loop, [&] {
        if (tester.currentLine() > tester.lineCount())
            loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    notifier.answers = {0}; // past the port's daily write budget the window asks
    tester.send();
    loop.exec();
    printer.join();
    if (!notifier.isEmpty() || tester.currentLine() != rows + 1)
        return {};
    return printer.senderMs();
}

// The least any sender can do: write 130 bytes, block for the one-byte answer.
std::vector<double> floorRun()
{
    PtyPair pty;
    if (!pty.isValid())
        return {};
    ThreadPrinter printer(pty.masterFd(), rows);
    const int fd = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    termios line{};
    ::tcgetattr(fd, &line);
    ::cfmakeraw(&line);
    ::cfsetspeed(&line, B9600);
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &line);
    const QByteArray frame = buildFrameTemplate(LogoPlacement::Header);
    char answer = 0;
    for (int r = 0; r < rows; ++r) {
        if (::write(fd, frame.constData(), size_t(frame.size())) != frame.size() ||
            ::read(fd, &answer, 1) != 1)
            break;
    }
    ::close(fd);
    printer.join();
    return printer.senderMs();
}

struct Summary
{
    double mean = 0;
    double median = 0;
    double worst = 0;
};

Summary summarise(std::vector<double> ms)
{
    Summary s;
    if (ms.empty())
        return s;
    std::sort(ms.begin(), ms.end());
    s.mean = std::accumulate(ms.begin(), ms.end(), 0.0) / double(ms.size());
    s.median = ms[ms.size() / 2];
    s.worst = ms.back();
    return s;
}

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    BenchApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    TestFolder folder;
    const QString picture = makeDottedLogo(folder);
    programRun(picture); // warm-up: first-use costs are not per frame
    floorRun();

    std::printf("ms per frame, %d rows, %d gaps each (sender's time: frame r written to frame "
                "r+1 written, minus the printer's time); window shown on %s, %s event loop\n",
                rows, rows - 1, qPrintable(QGuiApplication::platformName()),
                QAbstractEventDispatcher::instance()->inherits("QEventDispatcherGlib") ? "GLib"
                                                                                       : "Unix");
    std::printf("%-4s %28s   %28s\n", "rep", "program mean / median / max",
                "floor mean / median / max");
    std::vector<double> programMeans, floorMeans, programMedians, floorMedians;
    for (int rep = 1; rep <= repetitions; ++rep) {
        const std::vector<double> program = programRun(picture);
        const std::vector<double> bare = floorRun();
        if (int(program.size()) != rows - 1 || int(bare.size()) != rows - 1) {
            std::fprintf(stderr, "run %d incomplete: %zu and %zu gaps\n", rep, program.size(),
                         bare.size());
            return 1;
        }
        const Summary p = summarise(program);
        const Summary f = summarise(bare);
        programMeans.push_back(p.mean);
        floorMeans.push_back(f.mean);
        programMedians.push_back(p.median);
        floorMedians.push_back(f.median);
        std::printf("%-4d %8.4f / %8.4f / %8.4f   %8.4f / %8.4f / %8.4f\n", rep, p.mean, p.median,
                    p.worst, f.mean, f.median, f.worst);
    }
    const double program = medianOf(programMeans);
    const double bare = medianOf(floorMeans);
    std::printf("median of means: program %.4f ms, floor %.4f ms, ratio %.2f "
                "(goal: under 0.2 ms, ratio within 1.5)\n",
                program, bare, bare > 0 ? program / bare : 0.0);
    // On a busy machine a few frames wait for the scheduler; the medians leave them out.
    const double programMedian = medianOf(programMedians);
    const double floorMedian = medianOf(floorMedians);
    std::printf("median of medians: program %.4f ms, floor %.4f ms, ratio %.2f\n", programMedian,
                floorMedian, floorMedian > 0 ? programMedian / floorMedian : 0.0);
    return 0;
}
