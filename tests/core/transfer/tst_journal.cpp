// The journal of what each printer holds, read back after a crash; a send's
// report read back as printers, its words as outcomes.
#include "support/testfolder.h"

#include "core/config/printercsv.h"
#include "core/printer/frame.h"
#include "core/transfer/journal.h"

#include <QDateTime>
#include <QFile>
#include <QTest>

namespace {

QByteArray line(qint64 secondsAgo, quint16 port, const QByteArray &fingerprint,
                PrinterOutcome outcome, int rows)
{
    PrinterResult r;
    r.name = QStringLiteral("Kasa; \"1\"");
    r.address = QStringLiteral("127.0.0.1");
    r.port = port;
    r.outcome = outcome;
    r.rowsSent = rows;
    return Journal::formatLine(QDateTime::currentSecsSinceEpoch() - secondsAgo, r, fingerprint);
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class TstJournal : public QObject
{
    Q_OBJECT

private slots:
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
        QCOMPARE(journal.heldFingerprint(QStringLiteral("127.0.0.1"), 1), QByteArray("bbbb"));
        QCOMPARE(journal.writesInLastDay(QStringLiteral("127.0.0.1"), 1), 1);
        QCOMPARE(journal.heldFingerprint(QStringLiteral("127.0.0.1"), 2), QByteArray());
        QCOMPARE(journal.writesInLastDay(QStringLiteral("127.0.0.1"), 2), 2);
        QCOMPARE(journal.heldFingerprint(QStringLiteral("127.0.0.1"), 3), QByteArray("bbbb"));

        // The next line starts on a line of its own, after the cut one.
        PrinterResult r;
        r.address = QStringLiteral("127.0.0.1");
        r.port = 3;
        r.outcome = PrinterOutcome::Programmed;
        r.rowsSent = 96;
        QVERIFY(journal.append(r, "dddd"));
        Journal again(path);
        QVERIFY(again.load());
        QCOMPARE(again.lineCount(), 7);
        QCOMPARE(again.heldFingerprint(QStringLiteral("127.0.0.1"), 3), QByteArray("dddd"));
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
        QCOMPARE(a.size(), 16);
        QCOMPARE(logoFingerprint(hex, 2, header), a);
        QVERIFY(logoFingerprint(hex, 2, buildFrameTemplate(LogoPlacement::Footer)) != a);
        QVERIFY(logoFingerprint(QByteArray(104, 'A') + QByteArray(104, 'B'), 2, header) != a);
    }

    void outcomeWordsReadBack()
    {
        for (int i = int(PrinterOutcome::Programmed); i <= int(PrinterOutcome::LocalError); ++i) {
            PrinterResult r;
            r.outcome = PrinterOutcome(i);
            r.rowsSent = 7;
            r.rows = 96;
            r.cause = r.outcome == PrinterOutcome::LocalError ? QStringLiteral("brak pamięci")
                                                              : QString();
            PrinterOutcome back;
            QVERIFY2(outcomeFromText(resultText(r), &back), qPrintable(resultText(r)));
            QCOMPARE(int(back), i);
        }
        PrinterOutcome o;
        QVERIFY(!outcomeFromText(QStringLiteral("zaprogramowanax"), &o));
    }

    void reportReadAsPrinters()
    {
        QList<PrinterResult> results;
        const auto add = [&](const QString &name, quint16 port, PrinterOutcome outcome) {
            PrinterResult r;
            r.name = name;
            r.address = port ? QStringLiteral("10.0.0.%1").arg(port) : QStringLiteral("/dev/ttyS0");
            r.port = port;
            r.outcome = outcome;
            r.rows = 96;
            results.append(r);
        };
        add(QStringLiteral("Kasa; Łódź"), 1, PrinterOutcome::Programmed);
        add(QString(), 0, PrinterOutcome::NotConnected); // the serial printer
        add(QStringLiteral("Kasa 3"), 3, PrinterOutcome::HungUp);
        const PrinterCsv csv = parsePrinterCsv(formatReportCsv(results));
        QVERIFY(csv.problems.isEmpty());
        QVERIFY(csv.report);
        QCOMPARE(csv.entries.size(), 2);
        QCOMPARE(csv.entries.at(0),
                 (PrinterEntry{QStringLiteral("Kasa; Łódź"), QStringLiteral("10.0.0.1"),
                               QStringLiteral("1"), true}));
        QCOMPARE(csv.results, (QStringList{QStringLiteral("zaprogramowana"),
                                           QStringLiteral("rozłączona w wierszu 1")}));
    }
};

QTEST_GUILESS_MAIN(TstJournal)
#include "tst_journal.moc"
