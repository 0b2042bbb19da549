// The journal of what each printer holds, read back after a crash; a report's
// words read back as outcomes.
#include "support/testfolder.h"

#include "core/printer/frame.h"
#include "core/transfer/journal.h"

#include <QDateTime>
#include <QFile>
#include <QTest>

namespace {

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

QTEST_GUILESS_MAIN(TstJournal)
#include "tst_journal.moc"
