// kelm-logo and the files it reads and writes: printers files that never end,
// a report on a full disk or under two signals, IPv6 printers.
#include "support/fulldisk.h"
#include "support/kelmlogorun.h"
#include "support/simprocess.h"
#include "support/testfolder.h"
#include "support/unreadablefiles.h"

#include <QJsonArray>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

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
        const Run run = runLogo({"program", makePicture(folder), "--tcp",
                                 tcp(sim.ports.value(0)), "--json",
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
                       tcp(sim.ports.value(0)), "--tcp",
                       tcp(sim.ports.value(1))});
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
};

QTEST_MAIN(TstKelmLogoFiles)
#include "tst_kelmlogo_files.moc"
