// kelm-logo as a fleet tool runs it, against kelm-printer-sim on loopback:
//  1. N printers under a hard limit of 1024 open files (prlimit), against the
//     same run without it: every printer programmed, none refused;
//  2. a second run over M printers that all hold the logo: no connection;
//  3. --check over M printers;
//  4. a journal of 100,000 lines read at start.
//
//   ./bench_rollouts [N] [M]        (default 2000 5000)
#include "benchpicture.h"
#include "support/testfolder.h"

#include "core/system/filedescriptors.h"
#include "core/transfer/journal.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

namespace {

struct Printers
{
    QProcess process;
    QList<quint16> ports;
    QString csv;
};

// M virtual printers, their ports, and a CSV of them.
bool startPrinters(Printers &p, int count, const TestFolder &folder, const QString &tag)
{
    QStringList arguments{"--out", folder.filePath("sim-" + tag)};
    for (int i = 0; i < count; ++i)
        arguments << "--tcp"
                  << "127.0.0.1:0";
    const QString lines = folder.filePath("sim-" + tag + ".txt");
    p.process.setStandardOutputFile(lines);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_NO_GLIB", "1");
    p.process.setProcessEnvironment(environment);
    p.process.start(QStringLiteral(KELM_PRINTERSIM), arguments);
    QElapsedTimer clock;
    clock.start();
    while (p.process.state() != QProcess::NotRunning && clock.elapsed() < 120000) {
        p.process.waitForFinished(100);
        QFile file(lines);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray all = file.readAll();
        if (!all.contains("\nready"))
            continue;
        QByteArray csv = "nazwa;adres;port\n";
        for (const QByteArray &line : all.split('\n'))
            if (line.startsWith("tcp ")) {
                p.ports.append(quint16(line.mid(line.lastIndexOf(':') + 1).toUInt()));
                csv += "Sklep " + QByteArray::number(p.ports.size()) + ";127.0.0.1;" +
                       QByteArray::number(p.ports.last()) + "\n";
            }
        p.csv = folder.filePath("printers-" + tag + ".csv");
        QFile out(p.csv);
        return out.open(QIODevice::WriteOnly) && out.write(csv) == csv.size() &&
               p.ports.size() == count;
    }
    return false;
}

struct Result
{
    int code = -1;
    double seconds = 0;
    QJsonObject summary;
    QByteArray err;
};

// kelm-logo with --json; the summary line read from its output file.
Result logo(const QStringList &prefix, const QStringList &arguments, const TestFolder &folder)
{
    const QString out = folder.filePath("out.jsonl");
    QStringList all = arguments;
    all << "--json";
    QProcess process;
    process.setStandardOutputFile(out);
    process.setStandardErrorFile(folder.filePath("err.txt"));
    QElapsedTimer clock;
    clock.start();
    if (prefix.isEmpty())
        process.start(QStringLiteral(KELM_LOGO), all);
    else
        process.start(prefix.first(), prefix.mid(1) + QStringList{KELM_LOGO} + all);
    process.waitForFinished(600000);
    Result r;
    r.seconds = clock.nsecsElapsed() / 1e9;
    r.code = process.exitCode();
    QFile file(out);
    if (file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        r.summary = QJsonDocument::fromJson(lines.last()).object().value("summary").toObject();
    }
    QFile err(folder.filePath("err.txt"));
    if (err.open(QIODevice::ReadOnly))
        r.err = err.readAll();
    return r;
}

int logsOf(const TestFolder &folder, const QString &tag)
{
    QFile file(folder.filePath("sim-" + tag + "/log.jsonl"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
}

void say(const char *what, const Result &r, double goal, const char *unit = "s")
{
    std::printf("%-58s %8.3f %s (goal %s %.1f %s) exit %d\n", what, r.seconds, unit,
                r.seconds < goal ? "<" : "NOT <", goal, unit, r.code);
}

} // namespace

int main(int argc, char **argv)
{
    raiseFileLimitToHard();
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int m = argc > 2 ? std::atoi(argv[2]) : 5000;
    TestFolder folder; // its own XDG_STATE_HOME too
    const QString picture = makeDottedLogo(folder);
    const QString prlimit = QStandardPaths::findExecutable("prlimit");

    // 1. The open-file limit.
    {
        Printers printers;
        if (!startPrinters(printers, n, folder, "limit")) {
            std::fprintf(stderr, "the virtual printers did not start\n");
            return 1;
        }
        const QStringList common{"program",
                                 picture,
                                 "--printers",
                                 printers.csv,
                                 "--force",
                                 "--journal",
                                 folder.filePath("journal-limit.csv")};
        const Result free = logo({}, common, folder);
        const Result limited =
            prlimit.isEmpty() ? Result() : logo({prlimit, "--nofile=1024:1024"}, common, folder);
        std::printf("%d printers, no limit: %.3f s, programmed %d, refused %d, local_error %d\n", n,
                    free.seconds, free.summary.value("programmed").toInt(),
                    free.summary.value("refused").toInt(),
                    free.summary.value("local_error").toInt());
        std::printf("%d printers, hard limit 1024: %.3f s, programmed %d, refused %d, "
                    "local_error %d; %.2fx the time without (goal <= 1.5x)\n",
                    n, limited.seconds, limited.summary.value("programmed").toInt(),
                    limited.summary.value("refused").toInt(),
                    limited.summary.value("local_error").toInt(), limited.seconds / free.seconds);
        const int at = limited.err.indexOf("Naraz");
        if (at >= 0)
            std::printf("  it said: %s\n",
                        limited.err.mid(at, limited.err.indexOf('\n', at) - at).constData());
        printers.process.terminate();
        printers.process.waitForFinished(60000);
    }

    // 2. and 3. M printers that hold the logo; a dry run.
    {
        Printers printers;
        if (!startPrinters(printers, m, folder, "repeat")) {
            std::fprintf(stderr, "the virtual printers did not start\n");
            return 1;
        }
        const QString journal = folder.filePath("journal-repeat.csv");
        const QStringList common{"program",    picture,     "--printers",
                                 printers.csv, "--journal", journal};
        const Result check = logo({}, common + QStringList{"--check"}, folder);
        say(qPrintable(QStringLiteral("--check over %1 printers").arg(m)), check, 5);
        std::printf("  would_program %d, frames received %d\n",
                    check.summary.value("would_program").toInt(), logsOf(folder, "repeat"));
        const Result first = logo({}, common, folder);
        std::printf("first run over %d printers: %.3f s, programmed %d\n", m, first.seconds,
                    first.summary.value("programmed").toInt());
        QCoreApplication::processEvents();
        const int logged = logsOf(folder, "repeat");
        const Result second = logo({}, common, folder);
        say(qPrintable(QStringLiteral("second run over %1 printers holding the logo").arg(m)),
            second, 2);
        std::printf("  unchanged %d, logos received during it %d\n",
                    second.summary.value("unchanged").toInt(), logsOf(folder, "repeat") - logged);
        printers.process.terminate();
        printers.process.waitForFinished(60000);
    }

    // 4. A journal of 100,000 lines: 5000 printers, 20 entries each.
    {
        const QString path = folder.filePath("journal-big.csv");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        PrinterResult r;
        r.outcome = PrinterOutcome::Programmed;
        r.rowsSent = 96;
        r.address = "10.1.2.3";
        QByteArray all;
        for (int i = 0; i < 100000; ++i) {
            r.name = QStringLiteral("Sklep %1 kasa").arg(i % 5000);
            r.address = QStringLiteral("10.%1.%2.1").arg(i % 5000 / 250).arg(i % 250);
            r.port = 9100;
            all += Journal::formatLine(now - 100000 + i, r, "0123456789abcdef");
        }
        file.write(all);
        file.close();
        QElapsedTimer clock;
        clock.start();
        Journal journal(path);
        journal.load();
        Result read;
        read.seconds = clock.nsecsElapsed() / 1e9;
        read.code = journal.lineCount() == 100000 ? 0 : 1;
        say("journal of 100,000 lines read (in process)", read, 0.5);
        const Result whole = logo({},
                                  {"program", picture, "--tcp", "127.0.0.1:9", "--check",
                                   "--timeout", "1", "--journal", path},
                                  folder);
        std::printf("kelm-logo --check, 1 printer, with that journal: %.3f s in all\n",
                    whole.seconds);
    }
    return 0;
}
