// Files of printers and reports as an attacker or a full disk meets them:
// formula-like cells, ports that are no number, IPv6, files that never end.
#include "support/fulldisk.h"
#include "support/testfolder.h"
#include "support/unreadablefiles.h"

#include "core/config/printercsv.h"
#include "core/system/safefile.h"
#include "core/transfer/printeroutcome.h"

#include <QtTest>

#include <sys/stat.h>

class TstCsvSafety : public QObject
{
    Q_OBJECT

private slots:
    // A cell a spreadsheet would run is written as text, and reads back as it was.
    void formulaCells_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("command") << QStringLiteral("=cmd|' /C calc'!A0");
        QTest::newRow("at") << QStringLiteral("@SUM(A1)");
        QTest::newRow("minus") << QStringLiteral("-2+3");
        QTest::newRow("plus") << QStringLiteral("+1");
        QTest::newRow("tab") << QStringLiteral("\t=1");
        QTest::newRow("carriage return") << QStringLiteral("\r=1");
        QTest::newRow("quoted already") << QStringLiteral("'=1");
        QTest::newRow("quotes, then text") << QStringLiteral("''abc");
    }
    void formulaCells()
    {
        QFETCH(QString, text);
        const bool formula = !text.startsWith(QLatin1String("''a"));
        // The window refuses control characters, so those need not read back.
        const bool control = text.contains(QLatin1Char('\t')) || text.contains(QLatin1Char('\r'));
        const PrinterEntry entry{text, text, QStringLiteral("9100"), true};
        const QByteArray file = formatPrinterCsv({entry});
        const QByteArray cell = '"' + ("'" + text).toUtf8() + '"';
        QCOMPARE(file.contains(cell), formula);
        if (!control) {
            QCOMPARE(parsePrinterCsv(file).entries, QList<PrinterEntry>{entry});
            PrinterResult result;
            result.name = text;
            result.address = QStringLiteral("127.0.0.1");
            QCOMPARE(formatReportCsv({result}).contains(cell + ";127.0.0.1;"), formula);
        }
    }

    void importRefuses_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("acceptIpv6");
        QTest::addColumn<QString>("reason");
        QTest::newRow("formula port") << QByteArray("Kasa;10.0.0.1;=2+2") << false
                                      << QStringLiteral("Port „=2+2” nie jest liczbą");
        QTest::newRow("negative port") << QByteArray("Kasa;10.0.0.1;-5") << false
                                       << QStringLiteral("Port „-5” nie jest liczbą");
        QTest::newRow("IPv6 in the window")
            << QByteArray("Kasa;[::1];9100") << false
            << QStringLiteral("Adresu IPv6 „[::1]” nie można zapisać w pliku settings.txt");
        QTest::newRow("IPv6 in kelm-logo")
            << QByteArray("Kasa;[fd00::7];9100") << true << QString();
        QTest::newRow("bare IPv6")
            << QByteArray("Kasa;fd00::7;9100") << true
            << QStringLiteral("Pole „Adres IP” zawiera niedozwolony znak „:”.");
    }
    void importRefuses()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, acceptIpv6);
        QFETCH(QString, reason);
        const PrinterCsv csv = parsePrinterCsv(line, acceptIpv6);
        QCOMPARE(csv.entries.size(), reason.isEmpty() ? 1 : 0);
        QCOMPARE(csv.problems.isEmpty() ? QString() : csv.problems.first().reason, reason);
    }

    // What could block or never end is not read, and says why.
    void unreadable_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        addUnreadableFileRows();
        QTest::newRow("missing") << QStringLiteral("missing.csv")
                                 << QStringLiteral("nie ma takiego pliku ani katalogu");
    }
    void unreadable()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        TestFolder folder;
        QVERIFY(makeUnreadableFiles());
        QByteArray content;
        QString said;
        QVERIFY(!readSmallFile(name, maxInputFileSize, &content, &said));
        QCOMPARE(said, reason);
        QVERIFY(content.isEmpty());
    }

    // A full disk keeps the old file whole and says so, in Polish.
    void fullDisk()
    {
        FullDisk disk(QStringLiteral("report.csv"), "old report\n");
        if (!disk.ready)
            QSKIP(qPrintable(disk.why));
        QString reason;
        QVERIFY(!saveFileAtomically(disk.filePath(QStringLiteral("report.csv")),
                                    QByteArray(100000, 'n'), &reason));
        QCOMPARE(reason, QStringLiteral("brak miejsca na dysku"));
        QCOMPARE(disk.read(QStringLiteral("report.csv")), QByteArray("old report\n"));
        QCOMPARE(QDir(disk.filePath(QString())).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }
};

QTEST_MAIN(TstCsvSafety)
#include "tst_csvsafety.moc"
