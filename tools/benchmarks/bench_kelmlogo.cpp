// kelm-logo programming a 96-row logo into N printers at once: the program as a
// script runs it (its own process, a CSV of printers, a line per printer to a
// file), against printers on loopback that answer each frame at once. Beside it,
// in the same run and against the same printers, the floor: one epoll
// stop-and-wait loop in this process.
//
//   ./bench_kelmlogo [--printersim] [--program PATH] [N...]   (default 100 1000 5000)
//
// The printers are kelm-standin-printer (one process on raw epoll, cheaper per
// frame than any sender), so that kelm-logo's own cost shows; --printersim puts
// kelm-printer-sim (a Qt process) in its place. With two cores or more the
// printers get one core and kelm-logo and the floor another. --program runs
// another build of kelm-logo (an older one, for figures before and after). No
// display needed. KELM_LOGO_QT_LOOP=1 in the environment runs kelm-logo on Qt's
// own event loop instead of its epoll one, for comparison.
#include "benchpicture.h"
#include "epollfloor.h"
#include "support/testfolder.h"

#include "core/system/filedescriptors.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sched.h>
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

struct Options
{
    QString program = QStringLiteral(KELM_LOGO);
    bool printerSim = false;
    bool pinned = false; // printers on one core, kelm-logo and the floor on another
};

struct Figures
{
    int n = 0;
    double programMs = 0, floorMs = 0, floorConnectMs = 0;
    double programCpuMs = 0, floorCpuMs = 0, printersCpuProgramMs = 0, printersCpuFloorMs = 0;
    double baseMs = 0, baseCpuMs = 0; // kelm-logo for one printer: start-up, picture, one logo
    // Each run's kelm-logo beside the floor right after it, so that a machine
    // busier in one run than in another weighs on both.
    double ratio = 0, cpuRatio = 0;
    long peakKib = 0;
    double kibPerPrinter = 0;
    bool ok = false;
};

void pin(pid_t pid, int cpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    ::sched_setaffinity(pid, sizeof set, &set);
}

// The printers' process, started and listening; their ports in `ports`.
bool startPrinters(QProcess &printers, int n, const Options &options, const TestFolder &folder,
                   std::vector<quint16> &ports)
{
    QStringList arguments;
    QString program = QStringLiteral(KELM_STANDIN);
    if (options.printerSim) {
        program = QStringLiteral(KELM_PRINTERSIM);
        for (int i = 0; i < n; ++i)
            arguments << QStringLiteral("--tcp") << QStringLiteral("127.0.0.1:0");
        // On Qt's own event loop, as kelm-logo: GLib's costs more per frame the
        // more sockets it holds.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_NO_GLIB"), QStringLiteral("1"));
        printers.setProcessEnvironment(environment);
    } else {
        arguments << QString::number(n);
    }
    // Their lines go to a file: a pipe nobody reads while the printers work
    // would fill and stop them.
    const QString lines = folder.filePath(QStringLiteral("printers-%1.txt").arg(n));
    printers.setStandardOutputFile(lines);
    printers.start(program, arguments);
    if (!printers.waitForStarted(10000))
        return false;
    if (options.pinned)
        pin(pid_t(printers.processId()), 1);
    bool ready = false;
    const Clock::time_point starting = Clock::now();
    while (!ready && printers.state() != QProcess::NotRunning &&
           Clock::now() - starting < std::chrono::seconds(120)) {
        printers.waitForFinished(50);
        QFile file(lines);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        ports.clear();
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line == "ready")
                ready = true;
            else if (line.startsWith("tcp "))
                ports.push_back(quint16(line.mid(line.lastIndexOf(':') + 1).toUInt()));
        }
    }
    return ready && int(ports.size()) == n;
}

Figures measure(int n, const QString &picture, const Options &options, const TestFolder &folder)
{
    Figures f;
    f.n = n;
    QProcess printers;
    std::vector<quint16> ports;
    if (!startPrinters(printers, n, options, folder, ports)) {
        std::fprintf(stderr, "N=%d: the printers did not start\n", n);
        return f;
    }
    QByteArray csv = "nazwa;adres;port\n";
    for (int i = 0; i < n; ++i)
        csv += QStringLiteral("Sklep %1;127.0.0.1;%2\n").arg(i + 1).arg(ports[size_t(i)]).toUtf8();
    const QString printerList = folder.filePath(QStringLiteral("sklepy-%1.csv").arg(n));
    QFile file(printerList);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size())
        return f;
    file.close();
    const QString output = folder.filePath(QStringLiteral("out-%1.txt").arg(n));
    QStringList program{options.program, QStringLiteral("program"), picture,
                        QStringLiteral("--timeout"), QStringLiteral("60")};
    // Every repetition programs the printers the one before programmed, and this
    // build keeps a journal of them (an older one given with --program may not).
    if (options.program == QStringLiteral(KELM_LOGO))
        program << QStringLiteral("--force");

    // The program for one printer: start-up and memory, to take off the figures for N.
    const QString one = QStringLiteral("127.0.0.1:%1").arg(ports[0]);
    const Spawned base = spawnAndWait(program + QStringList{"--tcp", one}, output);
    if (base.code != 0)
        return f;

    const int repetitions = n <= 1000 ? 5 : 3;
    std::vector<double> programMs, floorMs, connectMs, programCpu, floorCpu, printersProgram,
        printersFloor, ratios, cpuRatios;
    const qint64 pid = printers.processId();
    for (int rep = 0; rep < repetitions; ++rep) {
        const double printersAtStart = processCpuMs(pid);
        const Spawned s = spawnAndWait(program + QStringList{"--printers", printerList}, output);
        const double printersAfterProgram = processCpuMs(pid);
        const epollfloor::Result floor = epollfloor::run(ports, rows);
        const double printersAfterFloor = processCpuMs(pid);
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
                     "%.1f ms connecting (%.1f ms CPU); printers' CPU %.1f / %.1f ms\n",
                     n, rep, s.ms, s.cpuMs, s.peakKib, floor.sendMs, floor.connectMs,
                     floor.cpuMs + floor.connectCpuMs, printersAfterProgram - printersAtStart,
                     printersAfterFloor - printersAfterProgram);
        programMs.push_back(s.ms);
        floorMs.push_back(floor.sendMs + floor.connectMs);
        connectMs.push_back(floor.connectMs);
        programCpu.push_back(s.cpuMs);
        floorCpu.push_back(floor.cpuMs + floor.connectCpuMs);
        ratios.push_back(s.ms / (floor.sendMs + floor.connectMs));
        cpuRatios.push_back((s.cpuMs - base.cpuMs) / (floor.cpuMs + floor.connectCpuMs));
        printersProgram.push_back(printersAfterProgram - printersAtStart);
        printersFloor.push_back(printersAfterFloor - printersAfterProgram);
        f.peakKib = std::max(f.peakKib, s.peakKib);
    }
    printers.terminate();
    printers.waitForFinished(60000);

    f.programMs = median(programMs);
    f.floorMs = median(floorMs);
    f.floorConnectMs = median(connectMs);
    f.programCpuMs = median(programCpu);
    f.floorCpuMs = median(floorCpu);
    f.ratio = median(ratios);
    f.cpuRatio = median(cpuRatios);
    f.printersCpuProgramMs = median(printersProgram);
    f.printersCpuFloorMs = median(printersFloor);
    f.baseMs = base.ms;
    f.baseCpuMs = base.cpuMs;
    f.kibPerPrinter = n > 1 ? double(f.peakKib - base.peakKib) / (n - 1) : 0;
    f.ok = true;
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    // The floor holds N sockets here; the printers raise their own limit.
    raiseFileLimitToHard();

    QCoreApplication app(argc, argv);
    Options options;
    QList<int> sizes;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument = argv[i];
        if (argument == "--printersim")
            options.printerSim = true;
        else if (argument == "--program" && i + 1 < argc)
            options.program = QString::fromLocal8Bit(argv[++i]);
        else if (argument.toInt() > 0)
            sizes << argument.toInt();
        else
            return std::fprintf(stderr, "usage: %s [--printersim] [--program PATH] [N...]\n",
                                argv[0]),
                   2;
    }
    if (sizes.isEmpty())
        sizes = {100, 1000, 5000};
    // This process (the floor) and kelm-logo, which inherits it, on core 0.
    options.pinned = ::sysconf(_SC_NPROCESSORS_ONLN) >= 2;
    if (options.pinned)
        pin(0, 0);
    TestFolder folder;
    const QString picture = makeDottedLogo(folder);

    double load[3] = {0, 0, 0};
    ::getloadavg(load, 3);
    std::printf(
        "kelm-logo programs 96 rows into N printers on loopback, printers from a CSV, a line\n"
        "per printer written to a file; medians of a few runs. Printers: %s.\n"
        "kelm ms  = wall time from spawn to exit of kelm-logo (start-up, picture, connecting,\n"
        "           sending, report); 1-prt ms = the same for one printer (its fixed cost).\n"
        "floor ms = wall time of one epoll stop-and-wait loop in this process against the\n"
        "           same printers, connecting included; ratio = kelm ms / floor ms, the\n"
        "           median of the runs' own ratios (each run beside its own floor).\n"
        "us/f     = wall time / (N x 96 frames), kelm-logo and floor.\n"
        "cpu/f    = CPU time (user+sys) per frame, in us: kelm-logo beyond its one-printer run,\n"
        "           the floor's thread (connecting and sending), the printers' process during\n"
        "           kelm-logo; cpu ratio = kelm cpu/f / floor cpu/f, what the sender costs\n"
        "           whatever else the machine runs.\n"
        "KiB/prt  = (peak RSS for N - peak RSS for 1 printer) / (N - 1).\n"
        "Machine: %ld cores%s, load average %.2f when this started. kelm-logo: %s, event "
        "loop: %s.\n",
        options.printerSim ? "kelm-printer-sim (a Qt process)"
                           : "kelm-standin-printer (one process on raw epoll)",
        ::sysconf(_SC_NPROCESSORS_ONLN),
        options.pinned ? " (printers on core 1, kelm-logo and the floor on core 0)" : "", load[0],
        qPrintable(options.program),
        qEnvironmentVariableIntValue("KELM_LOGO_QT_LOOP") == 1 ? "Qt's own (KELM_LOGO_QT_LOOP=1)"
                                                               : "epoll");
    std::printf("%5s %8s %8s %8s %5s | %6s %6s | %6s %6s %6s %5s | %8s %7s\n", "N", "kelm ms",
                "1-prt ms", "floor ms", "ratio", "kelm", "floor", "kelm", "floor", "prt", "ratio",
                "peak KiB", "KiB/prt");
    std::printf("%5s %8s %8s %8s %5s | %13s | %26s |\n", "", "", "", "", "", "us/f", "cpu/f");
    std::fflush(stdout);
    QList<Figures> all;
    for (const int n : sizes) {
        const Figures f = measure(n, picture, options, folder);
        if (!f.ok) {
            std::printf("%5d failed\n", n);
            continue;
        }
        all.append(f);
        const double frames = n * double(rows);
        std::printf(
            "%5d %8.1f %8.1f %8.1f %5.2f | %6.2f %6.2f | %6.2f %6.2f %6.2f %5.2f | %8ld %7.1f\n", n,
            f.programMs, f.baseMs, f.floorMs, f.ratio, 1000.0 * f.programMs / frames,
            1000.0 * f.floorMs / frames, 1000.0 * (f.programCpuMs - f.baseCpuMs) / frames,
            1000.0 * f.floorCpuMs / frames, 1000.0 * f.printersCpuProgramMs / frames, f.cpuRatio,
            f.peakKib, f.kibPerPrinter);
        std::fflush(stdout);
    }
    const auto find = [&](int n) -> const Figures * {
        for (const Figures &f : all)
            if (f.n == n)
                return &f;
        return nullptr;
    };
    std::printf("\nGoals (wall time; CPU time beside it):\n");
    if (const Figures *f = find(1000))
        std::printf("  N=1000 within 1.2x of the floor: %.2fx %s (CPU %.2fx)\n", f->ratio,
                    f->ratio <= 1.2 ? "met" : "MISSED", f->cpuRatio);
    if (const Figures *a = find(1000), *b = find(5000); a && b)
        std::printf("  N=5000 per frame no worse than N=1000, relative to the floor: %.2fx "
                    "against %.2fx %s (CPU %.2fx against %.2fx)\n",
                    b->ratio, a->ratio, b->ratio <= a->ratio ? "met" : "MISSED", b->cpuRatio,
                    a->cpuRatio);
    for (const Figures &f : all)
        std::printf("  N=%d memory under 50 KiB per printer: %.1f KiB %s\n", f.n, f.kibPerPrinter,
                    f.kibPerPrinter < 50 ? "met" : "MISSED");
    // What limits a run: whichever process spends the most CPU per frame.
    for (const Figures &f : all) {
        const double frames = f.n * double(rows);
        const double kelm = (f.programCpuMs - f.baseCpuMs) / frames;
        const double printers = f.printersCpuProgramMs / frames;
        std::printf("  N=%d: CPU busy %.0f%% of kelm-logo's wall time (kelm-logo %.0f%%, printers "
                    "%.0f%%); the larger CPU per frame is the %s's\n",
                    f.n, 100.0 * (f.programCpuMs + f.printersCpuProgramMs) / f.programMs,
                    100.0 * f.programCpuMs / f.programMs,
                    100.0 * f.printersCpuProgramMs / f.programMs,
                    kelm > printers ? "kelm-logo" : "printers");
    }
    return 0;
}
