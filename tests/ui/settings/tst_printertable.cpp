// The settings window's printer table driven as the operator does: the nested
// editor and its checks, import and export.
#include "support/settingsdialogfixture.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QtTest>

class TstPrinterTable : public QObject, SettingsDialogFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { closeFixture(); }

    // Add, edit and delete in the table; what reaches the main window only
    // through an applying button, and what "Anuluj" leaves untouched.
    void tableOperations()
    {
        startWindow(tcpFile(printerLine("127.0.0.2", 1, "A", false) +
                            printerLine("127.0.0.3", 2, "B", true) +
                            printerLine("127.0.0.4", 3, "C", false)));
        QTRY_COMPARE(record().tcpSockets.at(1)->state(), QAbstractSocket::UnconnectedState);
        notifier.notices.clear(); // nothing listens on 127.0.0.3:2
        const LinkSettings before = record();
        QPointer<QTcpSocket> added;
        runSettings({click("newShop"), editor("D", "10.0.0.1", "9100"),
                     onDialog([&](ConnectDialogTester &d) {
                         QVERIFY(!child(&d.d, "pushButton")->isEnabled());
                         QCOMPARE(d.model()->rowCount(), 5);
                         QCOMPARE(d.cell(3, 0) + d.cell(3, 1) + d.cell(3, 2) + d.cell(3, 3),
                                  QStringLiteral("D10.0.0.19100Niepodłączona"));
                         QVERIFY(!d.ticked(3) && !d.model()->item(4, 0));
                         added = d.work().tcpSockets.at(3);
                     }),
                     selectRow(1), click("editShop"),
                     [](QWidget *top) {
                         QCOMPARE(top->windowTitle(), QStringLiteral("Dodaj drukarkę"));
                         QCOMPARE(child<QLineEdit>(top, "lineEdit_2")->text(), "127.0.0.3");
                     },
                     editor("B2", "127.0.0.5", "7"), selectRow(4), click("deleteShop"),
                     click("editShop"),
                     onDialog([](ConnectDialogTester &d) { QCOMPARE(d.model()->rowCount(), 5); }),
                     click("checkBox"), click("pushButton_2")});
        QVERIFY(!added);
        QCOMPARE(record().printerNames, before.printerNames);
        QCOMPARE(record().printerIps, before.printerIps);
        QCOMPARE(record().tcpSockets, before.tcpSockets);
        QCOMPARE(record().comPortChosen, true);
        QVERIFY(settingsFile().contains("Drukarka:TCP:127.0.0.3:2:B:1\n"));

        // The same, applied by "Rozłącz", after deleting the first of three.
        QPointer<QTcpSocket> first = record().tcpSockets.at(0);
        runSettings({onDialog([](ConnectDialogTester &d) {
                         auto *view = child<QTableView>(&d.d, "ipTableView");
                         QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                                           view->visualRect(d.model()->index(2, 1)).center());
                     }),
                     expectButtons("01 0 11"), selectRow(0), click("deleteShop"),
                     onDialog([&](ConnectDialogTester &d) {
                         QCOMPARE(d.cell(0, 0) + d.cell(1, 0), "BC");
                         QVERIFY(d.ticked(0) && !d.ticked(1));
                         QCOMPARE(d.work().tcpSockets, before.tcpSockets.mid(1));
                         QCOMPARE(d.work().printerPorts, QStringList({"2", "3"}));
                     }),
                     selectRow(0), click("editShop"), editor("B2", "127.0.0.5", "7"),
                     onDialog([](ConnectDialogTester &d) {
                         QVERIFY(d.ticked(0));
                         d.model()->item(1, 0)->setCheckState(Qt::Checked);
                         QCOMPARE(d.work().printerSelected, QList<bool>({true, false}));
                     }),
                     click("pushButton_4"), click("pushButton_2")});
        QCOMPARE(record().printerNames, QStringList({"B2", "C"}));
        QCOMPARE(record().printerIps, QStringList({"127.0.0.5", "127.0.0.4"}));
        QCOMPARE(record().printerSelected, QList<bool>({true, true}));
        QCOMPARE(record().tcpSockets, before.tcpSockets.mid(1));
        QCOMPARE(record().printerCount, 2);
        // Its connection still holds the deleted entry's socket until the rebuild.
        QVERIFY(first);
        QVERIFY(t->connections().size() == 3 && t->connections().at(0)->tcpSocket() == first);
        runSettings({onDialog([](ConnectDialogTester &d) {
                         for (int row = 0; row < 2; ++row)
                             d.model()->item(row, 0)->setCheckState(Qt::Unchecked);
                     }),
                     click("pushButton_3"), click("pushButton_2")});
        QTRY_VERIFY(!first);
    }

    // The editor's checks, in their order, and the refusal of ":", which
    // settings.txt cannot hold in a field.
    void editorChecks_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        QTest::addColumn<QString>("detail");
        const QString ip = QStringLiteral("Błędny adres IP");
        const QString port = QStringLiteral("Błędny numer portu (większy niż 65536)");
        const QString colon = QStringLiteral("Dwukropek rozdziela pola w pliku settings.txt.");
        const auto row = [](const char *name, QStringList fields, QString refusal = {},
                            QString detail = {}) {
            QTest::newRow(name) << fields << refusal << detail;
        };
        row("plain", {"Kasa Łódź", "10.0.0.1", "9100"});
        row("part over 255", {"K", "10.0.0.256", "1"}, ip);
        row("single part 300", {"K", "300", "1"}, ip);
        row("part too long for a number", {"K", "1.99999999999", "1"}, ip);
        for (const char *accepted : {"abc", "1.2.3", "1..2", "", "-1.2.3.4"})
            row(accepted, {"K", accepted, "1"});
        row("port 65535", {"K", "1.2.3.4", "65535"});
        row("port 65536", {"K", "1.2.3.4", "65536"}, port);
        row("port too long for a number", {"K", "1.2.3.4", "99999999999"}, port);
        for (const char *accepted : {"", "-5", "80a"})
            row(qPrintable(QStringLiteral("port '%1'").arg(accepted)), {"K", "1.2.3.4", accepted});
        row("address and port wrong: the address", {"K", "10.0.0.256", "70000"}, ip);
        row("colon in name", {"Kasa:1", "1.2.3.4", "1"},
            QStringLiteral("Pole „Nazwa drukarki” zawiera niedozwolony znak „:”."), colon);
        row("colon in address", {"K", "10.0.0.1:9100", "1"},
            QStringLiteral("Pole „Adres IP” zawiera niedozwolony znak „:”."), colon);
        row("colon in all three", {":", ":", ":"},
            QStringLiteral("Pola „Nazwa drukarki”, „Adres IP” i „Numer Portu TCP” zawierają "
                           "niedozwolony znak „:”."),
            colon);
        row("bad address, colon in name", {"Ka:sa", "10.0.0.256", "1"}, ip);
        const QString control = QStringLiteral(
            "Podział wiersza ani inny znak sterujący nie może być częścią wpisu: rozdzieliłby "
            "jego wiersz w pliku settings.txt.");
        row("line feed in name", {"Kasa\nCOM", "1.2.3.4", "1"},
            QStringLiteral("Pole „Nazwa drukarki” zawiera niedozwolony znak sterujący."), control);
        row("carriage return in address", {"K", "1.2.3.4\r", "1"},
            QStringLiteral("Pole „Adres IP” zawiera niedozwolony znak sterujący."), control);
        row("tab in port", {"K", "1.2.3.4", "91\t00"},
            QStringLiteral("Pole „Numer Portu TCP” zawiera niedozwolony znak sterujący."), control);
        row("colon before control", {"K\n", "1.2.3.4", "1:"},
            QStringLiteral("Pole „Numer Portu TCP” zawiera niedozwolony znak „:”."), colon);
    }

    void editorChecks()
    {
        QFETCH(QStringList, fields);
        QFETCH(QString, refusal);
        QFETCH(QString, detail);
        QStringList entry = {"two", "strings"};
        EditShopDialog dialog(QStringLiteral("Dodaj drukarkę"), &entry, &notifier);
        QCOMPARE(dialog.size(), QSize(332, 192));
        QCOMPARE(child<QLineEdit>(&dialog, "lineEdit")->text(), QString());
        dialog.show();
        const char *edits[] = {"lineEdit", "lineEdit_2", "lineEdit_3"};
        for (int i = 0; i < 3; ++i)
            child<QLineEdit>(&dialog, edits[i])->setText(fields.at(i));
        child<QAbstractButton>(&dialog, "pushButton")->click();
        if (refusal.isEmpty()) {
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(entry, fields);
            return;
        }
        KELM_EXPECT_NOTICE(notifier, Notice::Critical, "Kelm Graphics", refusal, Notice::Close,
                           detail);
        QVERIFY(dialog.isVisible());
        QCOMPARE(entry, QStringList({"two", "strings"}));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(child<QLineEdit>(&dialog, edits[i])->text(), fields.at(i));
        child<QAbstractButton>(&dialog, "pushButton_2")->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(entry, QStringList({"two", "strings"}));
    }

    // Another entry's address and port: the editor asks, and saves only when told to.
    void editorWarnsOfSamePrinter()
    {
        QStringList entry;
        EditShopDialog dialog(QStringLiteral("Dodaj drukarkę"), &entry, &notifier);
        dialog.setTakenAddresses({{printerAddressKey("10.0.0.1", "9100"), "Kasa 1"}});
        dialog.show();
        child<QLineEdit>(&dialog, "lineEdit")->setText("Kasa 2");
        child<QLineEdit>(&dialog, "lineEdit_2")->setText("10.0.0.1");
        child<QLineEdit>(&dialog, "lineEdit_3")->setText("09100");
        notifier.answers = {1, 0};
        for (const bool saved : {false, true}) {
            child<QAbstractButton>(&dialog, "pushButton")->click();
            KELM_EXPECT_NOTICE(
                notifier, Notice::Question, "Kelm Graphics",
                QStringLiteral("Adres 10.0.0.1 i port 09100 ma już drukarka „Kasa 1”."),
                Notice::Close,
                QStringLiteral(
                    "Dwa wpisy tej samej drukarki wysłałyby do niej logo dwa razy naraz."),
                {QStringLiteral("Zapisz mimo to"), QStringLiteral("Popraw")});
            QCOMPARE(dialog.isVisible(), !saved);
            QCOMPARE(entry, saved ? QStringList({"Kasa 2", "10.0.0.1", "09100"}) : QStringList());
        }
    }

    // Import adds to the table or replaces it, skipping refused lines and the
    // printers already there, with one box at the end; an export imports back
    // as the same table; the ticks all at once.
    void importAndExport()
    {
        startWindow(tcpFile(printerLine("127.0.0.1", printer.serverPort(), "Kasa 1", true) +
                            printerLine("127.0.0.2", 9100, "Kasa 2", false)));
        QTcpSocket *connected = record().tcpSockets.at(0);
        QTRY_COMPARE(connected->state(), QAbstractSocket::ConnectedState);
        const QString imported = folder->filePath(QStringLiteral("import.csv"));
        const QString exported = folder->filePath(QStringLiteral("eksport.csv"));
        {
            QFile file(imported);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("Nazwa;Adres;Port\r\nSklep \xC5\x81\xC3\xB3\x64\xC5\xBA;10.0.0.1;9100\r\n"
                       "Duplikat;127.0.0.2;9100\r\nZ\xC5\x82y;10.0.0.300;9100\r\n"
                       "Sklep 2;10.0.0.2;9100;0\r\n");
        }
        const auto table = [](ConnectDialogTester &d) {
            QStringList rows;
            for (int row = 0; row + 1 < d.model()->rowCount(); ++row)
                rows << QStringLiteral("%1|%2|%3|%4")
                            .arg(d.cell(row, 0), d.cell(row, 1), d.cell(row, 2))
                            .arg(int(d.ticked(row)));
            return rows;
        };
        const QString title = QStringLiteral("Kelm Graphics");
        const auto question = [&](const char *file, int inFile, int inTable) {
            return Notice{
                Notice::Question,
                title,
                QStringLiteral("Dodać drukarki z pliku „%1” do tabeli czy zastąpić "
                               "nimi tabelę?")
                    .arg(file),
                Notice::Close,
                QStringLiteral("Poprawnych wpisów w pliku: %1, drukarek w tabeli: %2.")
                    .arg(inFile)
                    .arg(inTable),
                {QStringLiteral("Dodaj"), QStringLiteral("Zastąp"), QStringLiteral("Anuluj")}};
        };
        const QStringList added = {
            "Kasa 1|127.0.0.1|" + QString::number(printer.serverPort()) + "|1",
            "Kasa 2|127.0.0.2|9100|0", QStringLiteral("Sklep Łódź|10.0.0.1|9100|1"),
            "Sklep 2|10.0.0.2|9100|0"};
        notifier.answers = {0, 1, 1};
        runSettings(
            {click("importShops"), fileDialog(imported), onDialog([&](ConnectDialogTester &d) {
                 KELM_EXPECT_NOTICE(notifier, question("import.csv", 3, 2));
                 KELM_EXPECT_NOTICE(
                     notifier, Notice::Critical, title,
                     QStringLiteral("Zaimportowano drukarki z pliku „import.csv”: 2. Pominięte "
                                    "wiersze: 2."),
                     Notice::Close,
                     QStringLiteral("Wiersz 3: Ten adres i port ma już w tabeli drukarka „Kasa 2”\n"
                                    "Wiersz 4: Błędny adres IP"));
                 QCOMPARE(table(d), added);
                 QCOMPARE(d.cell(3, 3), QStringLiteral("Niepodłączona"));
                 QVERIFY(!child(&d.d, "pushButton")->isEnabled());
             }),
             click("exportShops"), fileDialog(exported), onDialog([&](ConnectDialogTester &) {
                 KELM_EXPECT_NOTICE(
                     notifier, Notice::Information, title,
                     QStringLiteral("Wyeksportowano drukarki do pliku „eksport.csv”: 4."),
                     Notice::Ok, QDir::toNativeSeparators(exported));
             }),
             click("importShops"), fileDialog(imported), onDialog([&](ConnectDialogTester &d) {
                 KELM_EXPECT_NOTICE(notifier, question("import.csv", 3, 4));
                 KELM_EXPECT_NOTICE(notifier, Notice::Critical, title,
                                    QStringLiteral("Zaimportowano drukarki z pliku „import.csv”: "
                                                   "3. Pominięte wiersze: 1."),
                                    Notice::Close, QStringLiteral("Wiersz 4: Błędny adres IP"));
                 QCOMPARE(table(d),
                          QStringList({QStringLiteral("Sklep Łódź|10.0.0.1|9100|1"),
                                       "Duplikat|127.0.0.2|9100|1", "Sklep 2|10.0.0.2|9100|0"}));
                 // Replaced as if deleted: cut at once, kept for the main window's lists.
                 QCOMPARE(connected->state(), QAbstractSocket::UnconnectedState);
             }),
             click("importShops"), fileDialog(exported), onDialog([&](ConnectDialogTester &d) {
                 KELM_EXPECT_NOTICE(notifier, question("eksport.csv", 4, 3));
                 KELM_EXPECT_NOTICE(
                     notifier, Notice::Information, title,
                     QStringLiteral("Zaimportowano drukarki z pliku „eksport.csv”: 4."),
                     Notice::Ok);
                 QCOMPARE(table(d), added);
             }),
             click("untickAll"), onDialog([&](ConnectDialogTester &d) {
                 for (int row = 0; row < 4; ++row)
                     QVERIFY(!d.ticked(row));
             }),
             click("tickAll"), click("pushButton_4"), click("pushButton_2")});
        QCOMPARE(record().printerNames,
                 QStringList({"Kasa 1", "Kasa 2", QStringLiteral("Sklep Łódź"), "Sklep 2"}));
        QCOMPARE(record().printerPorts,
                 QStringList({QString::number(printer.serverPort()), "9100", "9100", "9100"}));
        QCOMPARE(record().printerSelected, QList<bool>({true, true, true, true}));
        QCOMPARE(record().printerCount, 4);
    }
};

QTEST_MAIN(TstPrinterTable)
#include "tst_printertable.moc"
