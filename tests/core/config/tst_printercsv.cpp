// Files of printers: the forms a spreadsheet writes, the lines that must be
// refused, an export that imports back unchanged; as an attacker or a full disk
// meets them: formula-like cells, ports that are no number, IPv6, endless files.
#include "core/config/printercsv.h"
#include "core/system/safefile.h"
#include "core/transfer/printeroutcome.h"
#include "support/fulldisk.h"
#include "support/testfolder.h"
#include "support/unreadablefiles.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

// "name|address|port|1" per entry, "line: reason" per problem.
QStringList entryTexts(const QList<PrinterEntry> &entries)
{
    QStringList out;
    for (const PrinterEntry &e : entries)
        out << QStringLiteral("%1|%2|%3|%4").arg(e.name, e.address, e.port).arg(int(e.selected));
    return out;
}

QStringList problemTexts(const QList<CsvLineProblem> &problems)
{
    QStringList out;
    for (const CsvLineProblem &p : problems)
        out << QStringLiteral("%1: %2").arg(p.line).arg(p.reason);
    return out;
}

} // namespace

class TstPrinterCsv : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("problems");
        const QStringList none;
        const QStringList lodz = {QStringLiteral("Kasa Łódź|10.0.0.1|9100|1")};

        QTest::newRow("semicolons, header, BOM, CR LF")
            << QByteArray("\xEF\xBB\xBFNazwa;Adres;Port\r\nKasa 1;10.0.0.1;9100\r\n"
                          "Kasa 2;10.0.0.2;9100;0\r\n")
            << QStringList{"Kasa 1|10.0.0.1|9100|1", "Kasa 2|10.0.0.2|9100|0"} << none;
        QTest::newRow("commas, spaces, no header, blank lines")
            << QByteArray("Kasa 1, 10.0.0.1 , 9100\n\n ,,, \nKasa 2,10.0.0.2,9100,1")
            << QStringList{"Kasa 1|10.0.0.1|9100|1", "Kasa 2|10.0.0.2|9100|1"} << none;
        QTest::newRow("quoted fields")
            << QByteArray("name,address,port,selected\n\"Sklep; \"\"Pod Lipą\"\", 2\",\"10.0.0.1\","
                          "9100\n\" Kasa \" , 10.0.0.2,\"9100\",\"0\"\n")
            << QStringList{QStringLiteral("Sklep; \"Pod Lipą\", 2|10.0.0.1|9100|1"),
                           " Kasa |10.0.0.2|9100|0"}
            << none;
        QTest::newRow("the README's example")
            << QByteArray("Nazwa;Adres IP;Port TCP;Udzia\xC5\x82\nKasa 1;192.168.1.50;9100;1\n"
                          "Kasa 2;192.168.1.51;9100;0\n\"Sklep \"\"Pod Lip\xC4\x85\"\"; "
                          "Krak\xC3\xB3w\";192.168.1.52;9100\n")
            << QStringList{"Kasa 1|192.168.1.50|9100|1", "Kasa 2|192.168.1.51|9100|0",
                           QStringLiteral("Sklep \"Pod Lipą\"; Kraków|192.168.1.52|9100|1")}
            << none;
        QTest::newRow("UTF-8 without BOM") << QByteArray("Kasa Łódź;10.0.0.1;9100") << lodz << none;
        QTest::newRow("Windows-1250")
            << QByteArray("Kasa \xA3\xF3\x64\x9F;10.0.0.1;9100\r\n") << lodz << none;
        QTest::newRow("trailing empty columns of a spreadsheet")
            << QByteArray("Kasa Łódź;10.0.0.1;9100;;;\n") << lodz << none;

        QTest::newRow("bad lines among good ones")
            << QByteArray("Nazwa;Adres;Port;Udział\n"
                          "A;10.0.0.1;9100\n"
                          "B;10.0.0.256;9100\n"
                          "C;10.0.0.3;65536\n"
                          "D:1;10.0.0.4;9100\n"
                          "E\t1;10.0.0.5;9100\n"
                          "F;10.0.0.6\n"
                          "G;10.0.0.7;9100;1;x\n"
                          "H;10.0.0.8;9100;tak\n"
                          "Drukarka 9;10.0.0.9;9100\n"
                          "\"J;10.0.0.10;9100\n"
                          "\"K\"x;10.0.0.11;9100\n"
                          "L; 10.0.0.1 ;09100\n"
                          "M;10.0.0.13;9100\n")
            << QStringList{"A|10.0.0.1|9100|1", "M|10.0.0.13|9100|1"}
            << QStringList{
                   "3: Błędny adres IP",
                   "4: Błędny numer portu (większy niż 65536)",
                   QStringLiteral("5: Pole „Nazwa drukarki” zawiera niedozwolony znak „:”."),
                   QStringLiteral("6: Pole „Nazwa drukarki” zawiera niedozwolony znak sterujący."),
                   QStringLiteral("7: Za mało pól: potrzebne są nazwa, adres i port"),
                   QStringLiteral("8: Za dużo pól: najwyżej nazwa, adres, port i 1 lub 0"),
                   QStringLiteral("9: Czwarte pole musi być 1 lub 0, jest „tak”"),
                   QStringLiteral("10: Słowo „Drukarka” jest zastrzeżone dla pliku settings.txt"),
                   QStringLiteral("11: Niezamknięty cudzysłów"),
                   QStringLiteral("12: Znaki po cudzysłowie zamykającym pole"),
                   QStringLiteral("13: Ten sam adres i port co w wierszu 2")};
    }

    void parse()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, entries);
        QFETCH(QStringList, problems);
        const PrinterCsv csv = parsePrinterCsv(content);
        QCOMPARE(entryTexts(csv.entries), entries);
        QCOMPARE(problemTexts(csv.problems), problems);
    }

    // Whatever the table can hold comes back from its export unchanged, but for
    // ports that are no number, which the import refuses.
    void exportImportsBack()
    {
        const QList<PrinterEntry> entries = {
            {QStringLiteral("Kasa Łódź"), "10.0.0.1", "9100", true},
            {" spaced ", "10.0.0.2", "0", false},
            {"\"quoted\"; and, commas", "host.local", "8080", true},
            {"", "", "9100", false},
        };
        const QByteArray file = formatPrinterCsv(entries);
        QVERIFY(file.startsWith("\xEF\xBB\xBF"));
        QCOMPARE(file.count("\r\n"), entries.size() + 1);
        const PrinterCsv back = parsePrinterCsv(file);
        QCOMPARE(entryTexts(back.entries), entryTexts(entries));
        QVERIFY(back.entries == entries);
        QVERIFY(back.problems.isEmpty());
        QCOMPARE(csvLine({"a", "b;c", " d"}), QByteArray("a;\"b;c\";\" d\"\r\n"));
    }

    // A line break or another control character is refused in every field, after
    // the address, the port and ":".
    void entryChecks_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        const QString inName =
            QStringLiteral("Pole „Nazwa drukarki” zawiera niedozwolony znak sterujący.");
        QTest::newRow("line feed in the name") << QStringList{"Kasa\nCOM", "1.2.3.4", "1"}
                                               << int(EntryProblem::ControlCharacter) << inName;
        QTest::newRow("carriage return in the address")
            << QStringList{"K", "1.2.3.4\r", "1"} << int(EntryProblem::ControlCharacter)
            << QStringLiteral("Pole „Adres IP” zawiera niedozwolony znak sterujący.");
        QTest::newRow("tab in the port and NUL in the name")
            << QStringList{QString(QChar(0)), "1.2.3.4", "\t1"}
            << int(EntryProblem::ControlCharacter)
            << QStringLiteral("Pola „Nazwa drukarki” i „Numer Portu TCP” zawierają niedozwolone "
                              "znaki sterujące.");
        QTest::newRow("line separator") << QStringList{QStringLiteral("K\u2028"), "1.2.3.4", "1"}
                                        << int(EntryProblem::ControlCharacter) << inName;
        QTest::newRow("colon before control")
            << QStringList{"K\n", "1.2.3.4:1", "1"} << int(EntryProblem::Colon)
            << QStringLiteral("Pole „Adres IP” zawiera niedozwolony znak „:”.");
        QTest::newRow("address before control")
            << QStringList{"K\n", "1.2.3.256", "1"} << int(EntryProblem::Address)
            << QStringLiteral("Błędny adres IP");
        QTest::newRow("Polish letters are fine")
            << QStringList{QStringLiteral("Żółć"), "a", ""} << int(EntryProblem::None) << QString();
    }

    void entryChecks()
    {
        QFETCH(QStringList, fields);
        QFETCH(int, kind);
        QFETCH(QString, text);
        const EntryProblem problem = checkPrinterEntry(fields.at(0), fields.at(1), fields.at(2));
        QCOMPARE(int(problem.kind), kind);
        QCOMPARE(problem.text, text);
        QCOMPARE(printerEntryProblem(fields.at(0), fields.at(1), fields.at(2)), text);
    }

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

QTEST_MAIN(TstPrinterCsv)
#include "tst_printercsv.moc"
