// kelm-logo and the files it reads and writes: printers files that never end,
// a report on a full disk or under two signals, IPv6 printers. Run again over
// the same printers: the journal leaves alone what holds the logo, a dry run
// sends nothing, a report feeds the failures back, the open-file limit holds
// printers back instead of failing them.
#include "core/transfer/journal.h"
#include "support/fulldisk.h"
#include "support/kelmlogorun.h"
#include "support/loopbackprinter.h"
#include "support/simprocess.h"
#include "support/testfolder.h"
#include "support/unreadablefiles.h"

#include <QJsonArray>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

namespace {

int logosAt(const QString &out, quint16 port)
{
    int n = 0;
    for (const QJsonObject &line : SimProcess::log(out))
        n += line.value("printer").toString() == QStringLiteral("tcp ") + tcp(port);
    return n;
}

bool appendFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::Append) && file.write(content) == content.size();
}

} // namespace

class TstKelmLogoFiles : public QObject
{
    Q_OBJECT

private slots:
    // Exit 2 at once, in little memory, with the reason.
    void unreadablePrinters_data()
    {
        QTest::addColumn<QString>("printers");
        QTest::addColumn<QString>("said");
        addUnreadableFileRows();
        QTest::newRow("report over the printers file")
            << QStringLiteral("printers.csv") << QStringLiteral("to plik drukarek");
    }
    void unreadablePrinters()
    {
        QFETCH(QString, printers);
        QFETCH(QString, said);
        TestFolder folder;
        const QString picture = makePicture(folder);
        QVERIFY(makeUnreadableFiles());
        const QByteArray csv = "Kasa;127.0.0.1;9\n";
        QVERIFY(writeFile(QStringLiteral("printers.csv"), csv));
        const Run run =
            runLogo({"program", picture, "--printers", printers, "--report", "./printers.csv"});
        QCOMPARE(run.code, 2);
        QVERIFY2(run.errText().contains(said), qPrintable(run.errText()));
        QCOMPARE(readFile(QStringLiteral("printers.csv")), csv);
    }

    // The printers are told as they ended; the old report stays; exit 3.
    void reportOnFullDisk()
    {
        TestFolder folder;
        FullDisk disk(QStringLiteral("raport.csv"), "old report\n");
        if (!disk.ready)
            QSKIP(qPrintable(disk.why));
        SimProcess sim({"--tcp", "127.0.0.1:0"});
        QVERIFY(sim.started);
        const Run run =
            runLogo({"program", makePicture(folder), "--tcp", tcp(sim.ports.value(0)), "--json",
                     "--report", disk.filePath(QStringLiteral("raport.csv"))});
        QCOMPARE(run.code, 3);
        QVERIFY(run.out.contains("\"outcome\":\"programmed\""));
        QVERIFY2(run.errText().contains(QStringLiteral("nie zapisano raportu")) &&
                     run.errText().contains(QStringLiteral("brak miejsca na dysku")),
                 qPrintable(run.errText()));
        QCOMPARE(disk.read(QStringLiteral("raport.csv")), QByteArray("old report\n"));
    }

    // SIGTERM to the process and at once again (as `timeout` does to its group):
    // every printer still gets its JSON line and its report line.
    void secondSignal()
    {
        TestFolder folder;
        SimProcess sim({"--delay", "50", "--tcp", "127.0.0.1:0", "--tcp", "127.0.0.1:0"});
        QVERIFY(sim.started);
        const QString report = folder.filePath(QStringLiteral("raport.csv"));
        QProcess process;
        process.start(QStringLiteral(KELM_LOGO),
                      {"program", makePicture(folder), "--json", "--report", report, "--tcp",
                       tcp(sim.ports.value(0)), "--tcp", tcp(sim.ports.value(1))});
        process.setReadChannel(QProcess::StandardError);
        QVERIFY(process.waitForReadyRead(10000)); // the logo's size: it has started
        ::kill(pid_t(process.processId()), SIGTERM);
        ::kill(pid_t(process.processId()), SIGTERM);
        const Run run = finish(process);
        QCOMPARE(run.code, 1);
        // Both printers' lines, then the counts.
        QCOMPARE(run.out.count('\n'), 3);
        QVERIFY(run.out.trimmed().endsWith("}}"));
        QCOMPARE(readFile(report).count('\n'), 3);
    }

    // A bracketed IPv6 address, on the command line and in a printers file.
    void ipv6()
    {
        TestFolder folder;
        SimProcess sim({"--tcp", "[::1]:0", "--tcp", "[::1]:0"});
        if (!sim.started || sim.ports.size() != 2)
            QSKIP("::1 is not available on this machine");
        QVERIFY(writeFile(QStringLiteral("printers.csv"),
                          QStringLiteral("Kasa;[::1];%1\n").arg(sim.ports.at(0)).toUtf8()));
        const Run run = runLogo({"program", makePicture(folder), "--printers", "printers.csv",
                                 "--tcp", QStringLiteral("[::1]:%1").arg(sim.ports.at(1))});
        QVERIFY2(run.code == 0, qPrintable(run.errText()));
    }

    // Programmed, then left alone (unchanged), then forced; a printer answering
    // "already programmed" while the journal says it holds this logo is unchanged;
    // the daily write budget stops a printer unless forced.
    void journalDecides()
    {
        TestFolder folder;
        const QString picture = makePicture(folder);
        const QString out = folder.filePath(QStringLiteral("sim"));
        SimProcess sim({"--out", out, "--tcp", "127.0.0.1:0", "--answer", "programmed", "--tcp",
                        "127.0.0.1:0"});
        QVERIFY(sim.started);
        const quint16 ack = sim.ports.at(0);
        const quint16 holding = sim.ports.at(1);
        const QString journal = folder.filePath(QStringLiteral("state/journal.csv"));
        const QStringList common{"program",   picture, "--y",    "20",
                                 "--journal", journal, "--json", "--detailed-exitcodes"};

        Run run = runLogo(common + QStringList{"--tcp", tcp(ack)});
        QCOMPARE(run.outcomes(), QStringList{"programmed"});
        QCOMPARE(run.code, 2);
        QCOMPARE(run.summary().value("programmed").toInt(), 1);
        QTRY_COMPARE(logosAt(out, ack), 1);

        run = runLogo(common + QStringList{"--tcp", tcp(ack)});
        QCOMPARE(run.outcomes(), QStringList{"unchanged"});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.summary().value("unchanged").toInt(), 1);

        run = runLogo(common + QStringList{"--tcp", tcp(ack), "--force"});
        QCOMPARE(run.outcomes(), QStringList{"programmed"});
        QTRY_COMPARE(logosAt(out, ack), 2);
        QCOMPARE(run.code, 2);

        // The journal's last line, as if it had been the other printer.
        QFile file(journal);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> fields = file.readAll().trimmed().split('\n').last().split(';');
        file.close();
        const QByteArray fingerprint = fields.at(4);
        PrinterResult held;
        held.address = QStringLiteral("127.0.0.1");
        held.port = holding;
        held.outcome = PrinterOutcome::Programmed;
        held.rowsSent = 19;
        QVERIFY(appendFile(journal, Journal::formatLine(QDateTime::currentSecsSinceEpoch() - 60,
                                                        held, fingerprint)));
        run = runLogo(common + QStringList{"--tcp", tcp(holding), "--force"});
        QCOMPARE(run.outcomes(), QStringList{"unchanged"});
        QCOMPARE(run.code, 0);

        // Ten writes of another logo in the last day.
        held.port = ack;
        for (int i = 0; i < dailyWriteBudget; ++i)
            QVERIFY(appendFile(journal,
                               Journal::formatLine(QDateTime::currentSecsSinceEpoch() - 600 + i,
                                                   held, "0123456789abcdef")));
        run = runLogo(common + QStringList{"--tcp", tcp(ack)});
        QCOMPARE(run.outcomes(), QStringList{"write_limit"});
        QCOMPARE(run.code, 4);
        run = runLogo(common + QStringList{"--tcp", tcp(ack), "--force"});
        QCOMPARE(run.outcomes(), QStringList{"programmed"});
        QTRY_COMPARE(logosAt(out, ack), 3);
    }

    // --check connects and lets go: nothing reaches a printer, nothing is journaled.
    void checkSendsNothing()
    {
        TestFolder folder;
        const QString picture = makePicture(folder);
        const QString out = folder.filePath(QStringLiteral("sim"));
        SimProcess sim({"--out", out, "--tcp", "127.0.0.1:0"});
        QVERIFY(sim.started);
        const QString journal = folder.filePath(QStringLiteral("journal.csv"));
        const Run run = runLogo({"program", picture, "--check", "--journal", journal, "--json",
                                 "--detailed-exitcodes", "--timeout", "2", "--tcp",
                                 tcp(sim.ports.at(0)), "--tcp", tcp(LoopbackPrinter::deadPort())});
        QCOMPARE(run.outcomes(), (QStringList{"would_program", "refused"}));
        QCOMPARE(run.code, 6);
        QVERIFY(sim.stop());
        QCOMPARE(SimProcess::log(out).size(), 0);
        QVERIFY(!QFile::exists(journal));
    }

    // The report of a run fed back with --only-failed reaches the failed printers only.
    void onlyFailedFeedsBack()
    {
        TestFolder folder;
        const QString picture = makePicture(folder);
        const QString out = folder.filePath(QStringLiteral("sim"));
        SimProcess sim({"--out", out, "--tcp", "127.0.0.1:0", "--answer", "programmed", "--tcp",
                        "127.0.0.1:0", "--answer", "ack", "--drop-after", "3", "--tcp",
                        "127.0.0.1:0"});
        QVERIFY(sim.started);
        const QString report = folder.filePath(QStringLiteral("wynik.csv"));
        const QString journal = folder.filePath(QStringLiteral("journal.csv"));
        QStringList first{"program",   picture, "--y",      "20",
                          "--journal", journal, "--report", report};
        for (const quint16 port : sim.ports)
            first << "--tcp" << tcp(port);
        QCOMPARE(runLogo(first).code, 1);
        QTRY_COMPARE(SimProcess::log(out).size(), 3);

        const Run again = runLogo({"program", picture, "--y", "20", "--journal", journal,
                                   "--printers", report, "--only-failed", "--json"});
        QCOMPARE(again.outcomes(), QStringList{"hung_up"});
        QVERIFY(again.err.contains("Pominięto 2 drukarek z raportu"));
        QTRY_COMPARE(logosAt(out, sim.ports.at(2)), 2);
        QVERIFY(sim.stop());
        QCOMPARE(logosAt(out, sim.ports.at(0)), 1);
        QCOMPARE(logosAt(out, sim.ports.at(1)), 1);
    }

    void badInputCodes_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("code");
        QTest::newRow("plain") << QStringList() << 2;
        QTest::newRow("detailed") << QStringList{"--detailed-exitcodes"} << 1;
        QTest::newRow("usage error, detailed")
            << QStringList{"--detailed-exitcodes", "--jobs", "0"} << 1;
    }
    void badInputCodes()
    {
        QFETCH(QStringList, extra);
        QFETCH(int, code);
        TestFolder folder;
        const Run run = runLogo(QStringList{"program", folder.filePath("missing.png"), "--tcp",
                                            tcp(LoopbackPrinter::deadPort())} +
                                extra);
        QCOMPARE(run.code, code);
    }

    // A hard limit of 64 open files for 200 printers: held back, never "refused".
    void openFileLimit()
    {
        const QString prlimit = QStandardPaths::findExecutable(QStringLiteral("prlimit"));
        if (prlimit.isEmpty())
            QSKIP("prlimit (util-linux) is not installed");
        TestFolder folder;
        const QString picture = makePicture(folder);
        QStringList simArguments;
        for (int i = 0; i < 200; ++i)
            simArguments << "--tcp"
                         << "127.0.0.1:0";
        SimProcess sim(simArguments);
        QVERIFY(sim.started);
        QStringList arguments{"--nofile=64:64",
                              QStringLiteral(KELM_LOGO),
                              "program",
                              picture,
                              "--y",
                              "10",
                              "--json",
                              "--journal",
                              folder.filePath(QStringLiteral("journal.csv"))};
        for (const quint16 port : sim.ports)
            arguments << "--tcp" << tcp(port);
        const Run run = runProgram(prlimit, arguments);
        QCOMPARE(run.code, 0);
        QCOMPARE(run.summary().value("programmed").toInt(), 200);
        QVERIFY2(run.err.contains("Naraz najwyżej"), run.err.constData());
    }
};

QTEST_MAIN(TstKelmLogoFiles)
#include "tst_kelmlogo_files.moc"
