// kelm-logo programming a 96-row logo into N virtual printers at once: the
// program as a script runs it (its own process, a CSV of printers, a line per
// printer to a file), against kelm-printer-sim in another process, printers on
// loopback that answer each frame at once. Beside it, in the same run and
// against the same printers, the floor: one epoll stop-and-wait loop.
//
//   ./bench_kelmlogo [N...]          (default 100 1000 5000)
//
// No display needed. KELM_LOGO_QT_LOOP=1 in the environment runs kelm-logo on
// Qt's own event loop instead of its epoll one, for comparison.
#include "benchpicture.h"
#include "epollfloor.h"
#include "support/testfolder.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int rows = 96;

struct Spawned
{
    int code = -1;
    double ms = 0;
    double cpuMs = 0; // user + system
    long peakKib = 0;
};

// The program from spawn to exit, with its own resource use (wait4).
Spawned spawnAndWait(const QStringList &arguments, const QString &output)
{
    std::vector<QByteArray> bytes;
    for (const QString &a : arguments)
        bytes.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = output.toLocal8Bit();
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    Spawned s;
    pid_t pid = 0;
    const Clock::time_point start = Clock::now();
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        return s;
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    s.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    s.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    s.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
              (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    s.peakKib = usage.ru_maxrss;
    return s;
}

// CPU time (user + system) of another process so far.
double processCpuMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    // After the name: state is field 3, utime field 14, stime field 15.
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return ticks * 1000.0 / double(::sysconf(_SC_CLK_TCK));
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Figures
{
    int n = 0;
    double programMs = 0, floorMs = 0, floorConnectMs = 0;
    double programCpuMs = 0, simCpuProgramMs = 0, simCpuFloorMs = 0;
    double baseCpuMs = 0; // kelm-logo for one printer: start-up, picture, one logo
    long peakKib = 0;
    double kibPerPrinter = 0;
    bool ok = false;
};

Figures measure(int n, const QString &picture, const TestFolder &folder)
{
    Figures f;
    f.n = n;
    QStringList simArguments;
    for (int i = 0; i < n; ++i)
        simArguments << QStringLiteral("--tcp") << QStringLiteral("127.0.0.1:0");
    // Its lines go to a file: a pipe nobody reads while the printers work would
    // fill and stop them.
    const QString simLines = folder.filePath(QStringLiteral("sim-%1.txt").arg(n));
    QProcess sim;
    sim.setStandardOutputFile(simLines);
    // The printers on Qt's own event loop, as kelm-logo: GLib's costs them more
    // per frame the more sockets they hold.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_NO_GLIB"), QStringLiteral("1"));
    sim.setProcessEnvironment(environment);
    sim.start(QStringLiteral(KELM_PRINTERSIM), simArguments);
    std::vector<quint16> ports;
    bool ready = false;
    const Clock::time_point starting = Clock::now();
    while (!ready && sim.state() != QProcess::NotRunning &&
           Clock::now() - starting < std::chrono::seconds(120)) {
        sim.waitForFinished(100);
        QFile lines(simLines);
        if (!lines.open(QIODevice::ReadOnly))
            continue;
        ports.clear();
        for (const QByteArray &line : lines.readAll().split('\n')) {
            if (line == "ready")
                ready = true;
            else if (line.startsWith("tcp "))
                ports.push_back(quint16(line.mid(line.lastIndexOf(':') + 1).toUInt()));
        }
    }
    if (!ready || int(ports.size()) != n) {
        std::fprintf(stderr, "N=%d: the virtual printers did not start\n", n);
        return f;
    }
    QByteArray csv = "nazwa;adres;port\n";
    for (int i = 0; i < n; ++i)
        csv += QStringLiteral("Sklep %1;127.0.0.1;%2\n").arg(i + 1).arg(ports[size_t(i)]).toUtf8();
    const QString printers = folder.filePath(QStringLiteral("sklepy-%1.csv").arg(n));
    QFile file(printers);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size())
        return f;
    file.close();
    const QString output = folder.filePath(QStringLiteral("out-%1.txt").arg(n));
    // --force: every repetition programs the printers the one before programmed.
    const QStringList program{
        QStringLiteral(KELM_LOGO),   QStringLiteral("program"), picture,
        QStringLiteral("--timeout"), QStringLiteral("60"),      QStringLiteral("--force")};

    // Memory of the program for one printer, to take off the figure for N.
    const QString one = QStringLiteral("127.0.0.1:%1").arg(ports[0]);
    const Spawned base = spawnAndWait(program + QStringList{"--tcp", one}, output);
    if (base.code != 0)
        return f;

    const int repetitions = n <= 100 ? 5 : n <= 1000 ? 3 : 1;
    std::vector<double> programMs, floorMs, connectMs, programCpu, simProgram, simFloor;
    for (int rep = 0; rep < repetitions; ++rep) {
        double simCpu = processCpuMs(sim.processId());
        const Spawned s = spawnAndWait(program + QStringList{"--printers", printers}, output);
        const double simAfterProgram = processCpuMs(sim.processId());
        const epollfloor::Result floor = epollfloor::run(ports, rows);
        const double simAfterFloor = processCpuMs(sim.processId());
        if (s.code != 0 || floor.sendMs < 0) {
            std::fprintf(stderr, "N=%d run %d failed: exit %d, floor %.1f\n", n, rep, s.code,
                         floor.sendMs);
            QFile out(output);
            if (out.open(QIODevice::ReadOnly))
                for (const QByteArray &line : out.readAll().split('\n'))
                    if (!line.contains("zaprogramowana;"))
                        std::fprintf(stderr, "    %s\n", line.constData());
            return f;
        }
        std::fprintf(stderr,
                     "  N=%d run %d: kelm-logo %.1f ms (%.1f ms CPU, peak %ld KiB), floor %.1f + "
                     "%.1f ms connecting; printers' CPU %.1f / %.1f ms\n",
                     n, rep, s.ms, s.cpuMs, s.peakKib, floor.sendMs, floor.connectMs,
                     simAfterProgram - simCpu, simAfterFloor - simAfterProgram);
        programMs.push_back(s.ms);
        floorMs.push_back(floor.sendMs + floor.connectMs);
        connectMs.push_back(floor.connectMs);
        programCpu.push_back(s.cpuMs);
        simProgram.push_back(simAfterProgram - simCpu);
        simFloor.push_back(simAfterFloor - simAfterProgram);
        f.peakKib = std::max(f.peakKib, s.peakKib);
    }
    sim.terminate();
    sim.waitForFinished(60000);

    f.programMs = median(programMs);
    f.floorMs = median(floorMs);
    f.floorConnectMs = median(connectMs);
    f.programCpuMs = median(programCpu);
    f.simCpuProgramMs = median(simProgram);
    f.simCpuFloorMs = median(simFloor);
    f.baseCpuMs = base.cpuMs;
    f.kibPerPrinter = n > 1 ? double(f.peakKib - base.peakKib) / (n - 1) : 0;
    f.ok = true;
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    // The floor holds N sockets here; the printers raise their own limit.
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);

    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << std::atoi(argv[i]);
    if (sizes.isEmpty())
        sizes = {100, 1000, 5000};
    TestFolder folder;
    const QString picture = makePicture(folder);

    double load[3] = {0, 0, 0};
    ::getloadavg(load, 3);
    std::printf(
        "kelm-logo programs 96 rows into N virtual printers (kelm-printer-sim, another process,\n"
        "answering at once), printers from a CSV, a line per printer written to a file; medians.\n"
        "kelm ms = spawn to exit of kelm-logo (start-up, picture, connecting, sending, report).\n"
        "floor ms = one epoll stop-and-wait loop in this process against the same printers,\n"
        "connecting included. us/f = wall time / (N x 96).\n"
        "kelm cpu/f = kelm-logo's CPU time (user+sys) beyond a run to one printer / (N x 96);\n"
        "prt cpu/f = the printers' process CPU time during kelm-logo / (N x 96).\n"
        "KiB/prt = (peak RSS for N - peak RSS for 1 printer) / (N - 1).\n"
        "Machine: %ld cores, load average %.2f when this started. kelm-logo's event loop: %s.\n",
        ::sysconf(_SC_NPROCESSORS_ONLN), load[0],
        qEnvironmentVariableIntValue("KELM_LOGO_QT_LOOP") == 1 ? "Qt's own (KELM_LOGO_QT_LOOP=1)"
                                                               : "epoll");
    std::printf("%5s %9s %9s %6s %9s %7s %10s %9s %9s %8s\n", "N", "kelm ms", "floor ms", "ratio",
                "kelm us/f", "fl us/f", "kelm cpu/f", "prt cpu/f", "peak KiB", "KiB/prt");
    std::fflush(stdout);
    QList<Figures> all;
    for (const int n : sizes) {
        const Figures f = measure(n, picture, folder);
        if (!f.ok) {
            std::printf("%5d failed\n", n);
            continue;
        }
        all.append(f);
        const double frames = n * double(rows);
        std::printf("%5d %9.1f %9.1f %6.2f %9.2f %7.2f %10.2f %9.2f %9ld %8.1f\n", n, f.programMs,
                    f.floorMs, f.programMs / f.floorMs, 1000.0 * f.programMs / frames,
                    1000.0 * f.floorMs / frames, 1000.0 * (f.programCpuMs - f.baseCpuMs) / frames,
                    1000.0 * f.simCpuProgramMs / frames, f.peakKib, f.kibPerPrinter);
        std::fflush(stdout);
    }
    const auto find = [&](int n) -> const Figures * {
        for (const Figures &f : all)
            if (f.n == n)
                return &f;
        return nullptr;
    };
    std::printf("\nGoals:\n");
    if (const Figures *f = find(1000))
        std::printf("  N=1000 within 1.3x of the floor: %.2fx %s\n", f->programMs / f->floorMs,
                    f->programMs / f->floorMs <= 1.3 ? "met" : "MISSED");
    if (const Figures *a = find(100), *b = find(1000); a && b) {
        const double growth = (b->programMs / (1000.0 * rows)) / (a->programMs / (100.0 * rows));
        const double floorGrowth = (b->floorMs / (1000.0 * rows)) / (a->floorMs / (100.0 * rows));
        const double cpuGrowth = ((b->programCpuMs - b->baseCpuMs) / (1000.0 * rows)) /
                                 ((a->programCpuMs - a->baseCpuMs) / (100.0 * rows));
        const double simGrowth =
            (b->simCpuProgramMs / (1000.0 * rows)) / (a->simCpuProgramMs / (100.0 * rows));
        std::printf("  time per frame N=100 -> N=1000 grows at most 1.2x: %.2fx %s\n"
                    "    (the floor's grows %.2fx against the same printers; kelm-logo's CPU per\n"
                    "    frame %.2fx, the printers' process's CPU per frame %.2fx)\n",
                    growth, growth <= 1.2 ? "met" : "MISSED", floorGrowth, cpuGrowth, simGrowth);
    }
    for (const Figures &f : all)
        std::printf("  N=%d memory under 50 KiB per printer: %.1f KiB %s\n", f.n, f.kibPerPrinter,
                    f.kibPerPrinter < 50 ? "met" : "MISSED");
    if (const Figures *f = find(5000))
        std::printf("  N=5000 completes: yes, ratio %.2fx\n", f->programMs / f->floorMs);
    // What limits a run: whichever process spends the most CPU per frame.
    for (const Figures &f : all) {
        const double frames = f.n * double(rows);
        const double kelm = (f.programCpuMs - f.baseCpuMs) / frames;
        const double printers = f.simCpuProgramMs / frames;
        std::printf("  N=%d: CPU busy %.0f%% of the wall time (kelm-logo %.0f%%, printers %.0f%%); "
                    "the larger CPU per frame is the %s's\n",
                    f.n, 100.0 * (f.programCpuMs + f.simCpuProgramMs) / f.programMs,
                    100.0 * f.programCpuMs / f.programMs, 100.0 * f.simCpuProgramMs / f.programMs,
                    kelm > printers ? "kelm-logo" : "printers");
    }
    return 0;
}
