// The journal of what each printer holds, read back after a crash; a report's
// words read back as outcomes; the window's sends: each printer's end is written
// down, and a send past a printer's daily write budget asks once first.
#include "core/printer/frame.h"
#include "core/transfer/journal.h"
#include "support/loopbackprinter.h"
#include "support/ptyprinter.h"
#include "support/recordingnotifier.h"
#include "support/testfolder.h"
#include "support/windowsetup.h"
#include "ui/progress/tcpprogressdialog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTest>

namespace {

// A blank logo of 96 rows loaded into the window, ten rows down.
bool loadBlankLogo(MainWindowTester &t, const TestFolder &folder)
{
    if (!loadWhiteLogo(t, folder))
        return false;
    t.sliderY()->setValue(10);
    return true;
}

const QString loopback = QStringLiteral("127.0.0.1");

PrinterResult result(quint16 port, PrinterOutcome outcome, int rows)
{
    PrinterResult r;
    r.name = QStringLiteral("Kasa; \"1\"");
    r.address = loopback;
    r.port = port;
    r.outcome = outcome;
    r.rowsSent = rows;
    return r;
}

QByteArray line(qint64 secondsAgo, quint16 port, const QByteArray &fingerprint,
                PrinterOutcome outcome, int rows)
{
    return Journal::formatLine(QDateTime::currentSecsSinceEpoch() - secondsAgo,
                               result(port, outcome, rows), fingerprint);
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class TstSendJournal : public QObject
{
    Q_OBJECT

private slots:
    void budgetAskedAndEndsJournaled()
    {
        TestFolder folder;
        RecordingNotifier notifier;
        LoopbackPrinter printers[2];
        const QString path = Journal::defaultPath();
        QVERIFY(path.startsWith(folder.path()));
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        PrinterResult written;
        written.address = QStringLiteral("127.0.0.1");
        written.port = printers[0].port();
        written.outcome = PrinterOutcome::Programmed;
        written.rowsSent = 96;
        for (int i = 0; i < dailyWriteBudget; ++i)
            file.write(Journal::formatLine(QDateTime::currentSecsSinceEpoch() - 3600 + i, written,
                                           "0123456789abcdef"));
        file.close();

        MainWindow window(&notifier);
        MainWindowTester t(window);
        QVERIFY(loadBlankLogo(t, folder));
        LinkSettings &s = t.linkSettings();
        for (LoopbackPrinter &p : printers)
            addTcpEntry(s, QStringLiteral("Kasa %1").arg(s.printerNames.size() + 1),
                        QString::number(p.port()));
        s.linkMode = 2;
        t.openLink();
        QTRY_VERIFY(printers[0].connections == 1 && printers[1].connections == 1);
        QTRY_VERIFY(s.tcpSockets.at(0)->state() == QAbstractSocket::ConnectedState &&
                    s.tcpSockets.at(1)->state() == QAbstractSocket::ConnectedState);

        // "Anuluj": nothing goes out.
        notifier.answers = {1};
        t.send();
        KELM_EXPECT_NOTICE(
            notifier, Notice::Question, QStringLiteral("Kelm Graphics"),
            QStringLiteral("Drukarki, do których w ciągu ostatnich 24 godzin zapisano logo już "
                           "10 razy: 1. Ich pamięć jest przeznaczona do rzadkich zapisów."),
            Notice::Close, QString(), {QStringLiteral("Wyślij mimo to"), QStringLiteral("Anuluj")});
        QVERIFY(printers[0].frames.isEmpty() && printers[1].frames.isEmpty());

        // "Wyślij mimo to": both programmed, both ends journaled.
        notifier.answers = {0};
        QVERIFY(sendInDialog(t, [](TcpProgressDialog &dialog) {
            QTRY_VERIFY_WITH_TIMEOUT(dialog.closeButton->isEnabled(), 20000);
        }));
        QVERIFY(notifier.take().kind == Notice::Question);
        KELM_EXPECT_NO_NOTICE(notifier);
        const int rows = t.lineCount();
        QCOMPARE(printers[0].frames.size(), rows);
        QCOMPARE(printers[1].frames.size(), rows);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), dailyWriteBudget + 2);
        for (int i = 0; i < 2; ++i) {
            const QList<QByteArray> fields = lines.at(dailyWriteBudget + i).split(';');
            QCOMPARE(fields.value(3).toInt(), int(printers[i].port()));
            QCOMPARE(fields.value(5), QByteArray("programmed"));
            QCOMPARE(fields.value(6).toInt(), rows);
            QCOMPARE(fields.value(4), logoFingerprint(t.logoHex(), rows, t.frameTemplate()));
        }
    }

    // Over the serial link: programmed, then "already programmed".
    void serialEndsJournaled()
    {
        TestFolder folder;
        RecordingNotifier notifier;
        PtyPrinter printer;
        QVERIFY(printer.isValid());
        MainWindow window(&notifier);
        MainWindowTester t(window);
        QVERIFY(loadBlankLogo(t, folder));
        LinkSettings &s = t.linkSettings();
        s.linkMode = 1;
        s.comPortName = printer.slavePath();
        s.comPortChosen = true;
        t.openLink();
        QVERIFY(s.comPortOpen);

        t.send();
        const int rows = t.lineCount();
        QTRY_COMPARE(t.currentLine(), rows + 1);
        printer.answers = {PrinterAnswer::ack(), PrinterAnswer::programmed()};
        t.send();
        QTRY_VERIFY(!notifier.isEmpty());
        KELM_EXPECT_NOTICE(notifier, Notice::Critical, QStringLiteral("Kelm Graphics"),
                           QStringLiteral("Grafika już zaprogramowana"), Notice::Close);

        QFile file(Journal::defaultPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        const QByteArray where = QFile::encodeName(printer.slavePath()) + ";0;";
        QVERIFY(lines.at(0).contains(where + logoFingerprint(t.logoHex(), rows, t.frameTemplate()) +
                                     ";programmed;" + QByteArray::number(rows)));
        QVERIFY(lines.at(1).endsWith(";already_programmed;1"));
    }

    void heldAndWrites()
    {
        TestFolder folder;
        const QString path = folder.filePath(QStringLiteral("journal.csv"));
        QByteArray content;
        content += line(90000, 1, "aaaa", PrinterOutcome::Programmed, 96); // over a day ago
        content += line(600, 1, "bbbb", PrinterOutcome::Programmed, 96);
        content += "garbage;that;does;not;read\n";
        content += line(500, 1, "cccc", PrinterOutcome::AlreadyProgrammed, 0);
        content += line(400, 2, "bbbb", PrinterOutcome::Programmed, 96);
        content += line(300, 2, "cccc", PrinterOutcome::HungUp, 5); // cut short: unknown now
        content += line(200, 3, "bbbb", PrinterOutcome::Programmed, 96);
        content += line(100, 3, "cccc", PrinterOutcome::Programmed, 96).left(30); // cut mid-line
        QVERIFY(writeFile(path, content));

        Journal journal(path);
        QVERIFY(journal.load());
        QCOMPARE(journal.lineCount(), 6);
        QCOMPARE(journal.heldFingerprint(loopback, 1), QByteArray("bbbb"));
        QCOMPARE(journal.writesInLastDay(loopback, 1), 1);
        QCOMPARE(journal.heldFingerprint(loopback, 2), QByteArray());
        QCOMPARE(journal.writesInLastDay(loopback, 2), 2);
        QCOMPARE(journal.heldFingerprint(loopback, 3), QByteArray("bbbb"));

        // The next line starts on a line of its own, after the cut one.
        QVERIFY(journal.append(result(3, PrinterOutcome::Programmed, 96), "dddd"));
        Journal again(path);
        QVERIFY(again.load());
        QCOMPARE(again.lineCount(), 7);
        QCOMPARE(again.heldFingerprint(loopback, 3), QByteArray("dddd"));
    }

    void appendFailureIsTold()
    {
        TestFolder folder;
        QVERIFY(writeFile(folder.filePath(QStringLiteral("file")), "x"));
        Journal journal(folder.filePath(QStringLiteral("file/journal.csv")));
        QString error;
        QVERIFY(!journal.append(PrinterResult(), "aaaa", &error));
        QVERIFY2(error.startsWith(QStringLiteral("nie można dopisać do dziennika")),
                 qPrintable(error));
    }

    void fingerprintFollowsTheFrames()
    {
        const QByteArray hex = QByteArray(104 * 2, 'A');
        const QByteArray header = buildFrameTemplate(LogoPlacement::Header);
        const QByteArray a = logoFingerprint(hex, 2, header);
        QCOMPARE(logoFingerprint(hex, 2, header), a);
        QVERIFY(logoFingerprint(hex, 2, buildFrameTemplate(LogoPlacement::Footer)) != a);
        QVERIFY(logoFingerprint(QByteArray(104, 'A') + QByteArray(104, 'B'), 2, header) != a);
    }

    void outcomeWordsReadBack()
    {
        for (int i = int(PrinterOutcome::Programmed); i <= int(PrinterOutcome::LocalError); ++i) {
            PrinterResult r = result(1, PrinterOutcome(i), 7);
            r.rows = 96;
            if (r.outcome == PrinterOutcome::LocalError)
                r.cause = QStringLiteral("brak pamięci");
            PrinterOutcome back;
            QVERIFY2(outcomeFromText(resultText(r), &back), qPrintable(resultText(r)));
            QCOMPARE(int(back), i);
        }
        PrinterOutcome o;
        QVERIFY(!outcomeFromText(QStringLiteral("zaprogramowanax"), &o));
    }
};

QTEST_MAIN(TstSendJournal)
#include "tst_sendjournal.moc"
