// The settings window driven as the operator does: the link, the ports and
// the buttons that apply them, and the loop of the main window around it.
#include "support/settingsdialogfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPointer>
#include <QSerialPort>
#include <QtTest>

class TstConnectDialog : public QObject, SettingsDialogFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { closeFixture(); }

    // The form as laid out, and where opening points the serial port: at the
    // first port found, at the stored one only with the serial link, even when
    // the dialog is then cancelled.
    void opensPointingAtPorts()
    {
        const QString a = comPort(ptyA).portName, b = comPort(ptyB).portName;
        record().linkMode = 1;
        record().comPortName = b;
        runSettings({onDialog([&](ConnectDialogTester &d) {
                         QCOMPARE(d.d.windowTitle(), QStringLiteral("Ustawienia"));
                         // The window grew to the right for the table's new buttons,
                         // and the table takes what the window gets beyond that.
                         QCOMPARE(d.d.size(), QSize(740, 400));
                         QCOMPARE(d.d.minimumSize(), QSize(740, 400));
                         const auto places = [&] {
                             QStringList out;
                             for (const char *name : {"ipTableView", "frame_2", "pushButton_4",
                                                      "importShops", "untickAll"})
                                 out << QStringLiteral("%1 %2 %3 %4")
                                            .arg(child(&d.d, name)->x())
                                            .arg(child(&d.d, name)->y())
                                            .arg(child(&d.d, name)->width())
                                            .arg(child(&d.d, name)->height());
                             return out.join(QLatin1String(", "));
                         };
                         QCOMPARE(places(), "10 60 560 200, 10 80 580 270, 430 360 121 31, "
                                            "600 90 130 30, 600 220 130 30");
                         d.d.resize(900, 600);
                         QCOMPARE(places(), "10 60 720 400, 10 80 740 470, 430 560 121 31, "
                                            "760 90 130 30, 760 220 130 30");
                         d.d.resize(740, 400);
                         QWidget *w = child(&d.d, "deleteShop");
                         QCOMPARE(w->parent(), child(&d.d, "frame_2"));
                         QCOMPARE(qobject_cast<QPushButton *>(w)->text(), "Usuń drukarkę");
                         QStringList focusOrder; // the order of creation
                         for (w = child(&d.d, "comListBox"); focusOrder.size() < 8;
                              w = w->nextInFocusChain()) {
                             if (w->focusPolicy() != Qt::NoFocus && !w->objectName().isEmpty())
                                 focusOrder << w->objectName();
                         }
                         QCOMPARE(focusOrder.join(' '),
                                  "comListBox radioButton checkBox pushButton "
                                  "pushButton_2 radioButton_2 ipTableView newShop");
                         QCOMPARE(child<QComboBox>(&d.d, "comListBox")->currentText(), b);
                         QCOMPARE(d.model()->rowCount(), 1);
                     }),
                     expectButtons("10 1 00"), click("pushButton_2")});
        QCOMPARE(record().serialPort->portName(), b);
        QCOMPARE(record().comPortName, b);
        QCOMPARE(settingsFile(), "\nCOM\nCOM:" + b.toUtf8() + ":1\n");

        // A stored port that is not found, or another link: the first port stays.
        for (const QString &stored : {QStringLiteral("COM9"), b}) {
            record().linkMode = stored == b ? 0 : 1;
            record().comPortName = stored;
            runSettings({click("pushButton_2")});
            QCOMPARE(record().serialPort->portName(), a);
        }
    }

    // "OK" with "Otwórz port" unticked keeps the port closed and the link as it
    // was; ticked, it opens the port and asks every TCP/IP printer to disconnect.
    void okWithSerialLink()
    {
        startWindow(tcpFile(printerLine("127.0.0.1", printer.serverPort(), "Kasa", true)));
        QTRY_COMPARE(record().tcpSockets.at(0)->state(), QAbstractSocket::ConnectedState);
        // No link yet: the list checks "Połączenie COM" by itself.
        record().linkMode = 0;
        record().comPortName = QStringLiteral("COM9"); // not among those found
        runSettings({click("checkBox"), click("pushButton")});
        QVERIFY(!record().serialPort->isOpen() && !record().comPortOpen);
        QCOMPARE(record().linkMode, 0);
        QCOMPARE(record().comPortName, comPort(ptyA).portName);
        QVERIFY(!record().comPortChosen);
        QCOMPARE(record().tcpSockets.at(0)->state(), QAbstractSocket::ConnectedState);

        runSettings({click("checkBox"), click("pushButton")});
        QVERIFY(record().serialPort->isOpen() && record().comPortOpen);
        QCOMPARE(record().linkMode, 1);
        QTRY_COMPARE(record().tcpSockets.at(0)->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(settingsFile(), "\nCOM\n" +
                                     printerLine("127.0.0.1", printer.serverPort(), "Kasa", true) +
                                     "COM:" + comPort(ptyA).portName.toUtf8() + ":1\n");

        // A port that cannot be opened: no link, and the loop still ends.
        ports = {{QStringLiteral("ttyGone"), QStringLiteral("/dev/ttyGone")}};
        runSettings({click("radioButton"), click("pushButton")});
        KELM_EXPECT_NOTICE(notifier, Notice::Critical, "Kelm Graphics",
                           QStringLiteral("Nie można otworzyć portu COM"), Notice::Close);
        QCOMPARE(record().linkMode, 0);
        QVERIFY(!record().comPortOpen);
    }

    // No ports and no link: "Połącz" only records the request, and "Anuluj"
    // still opens the link and shows the dialog again.
    void connectRecordedThenCancelled()
    {
        ports.clear();
        runSettings({expectButtons("00 1 11"), click("pushButton_3"),
                     onDialog([](ConnectDialogTester &d) { QCOMPARE(d.requestedAction(), 1); }),
                     click("pushButton_2"),
                     onDialog([](ConnectDialogTester &d) { QCOMPARE(d.requestedAction(), 0); }),
                     click("pushButton_2")});
        for (int pass = 0; pass < 2; ++pass)
            KELM_EXPECT_NOTICE(notifier, Notice::Critical, "Kelm Graphics",
                               QStringLiteral("Brak dostępnych portów COM"), Notice::Close);
        QCOMPARE(settingsFile(), QByteArray("\nCOM\nCOM::1\n"));
    }

    // TCP/IP stored with ports present: "OK" applies at once. "Połącz" rebuilds
    // the sockets and the reopened dialog follows them; a deleted connected
    // printer is cut at once; "Rozłącz" drops the rest. The radio buttons switch
    // the buttons' states.
    void connectAndDisconnect()
    {
        startWindow(tcpFile(printerLine("127.0.0.1", printer.serverPort(), "Kasa 1", false) +
                            printerLine("127.0.0.1", printer.serverPort(), "Kasa 2", false)));
        runSettings({expectButtons("01 1 11"), click("pushButton")});
        QCOMPARE(record().linkMode, 2);
        QVERIFY(settingsFile().startsWith("\nTCP\n"));
        const QList<QTcpSocket *> loaded = record().tcpSockets;
        QTcpSocket *closingSocket = nullptr;
        runSettings({onDialog([](ConnectDialogTester &d) {
                         d.model()->item(0, 0)->setCheckState(Qt::Checked);
                     }),
                     click("pushButton_3"), onDialog([&](ConnectDialogTester &d) {
                         QVERIFY(!record().tcpSockets.contains(loaded.at(0)));
                         QVERIFY(d.ticked(0) && !d.ticked(1));
                         QTRY_COMPARE(d.cell(0, 3), QStringLiteral("Podłączona"));
                         QCOMPARE(d.cell(1, 3), QStringLiteral("Niepodłączona"));
                         // The unticked printer's socket is wired as well: it shows two lines.
                         auto *socket = d.work().tcpSockets.at(1);
                         socket->connectToHost(QHostAddress::LocalHost, stuckPrinter.port);
                         QCOMPARE(d.cell(1, 3), QStringLiteral("Rozpoczęcie\npodłączania"));
                         auto *view = child<QTableView>(&d.d, "ipTableView");
                         const int twoLines = 2 * view->fontMetrics().lineSpacing();
                         QTRY_VERIFY(view->rowHeight(1) >= twoLines);
                         socket->abort();
                         socket->connectToHost(QHostAddress::LocalHost, printer.serverPort());
                         QTRY_COMPARE(d.cell(1, 3), QStringLiteral("Podłączona"));
                         QTRY_VERIFY(view->rowHeight(1) < twoLines);
                         closingSocket = d.work().tcpSockets.at(0);
                     }),
                     selectRow(0), click("deleteShop"), onDialog([&](ConnectDialogTester &d) {
                         QCOMPARE(closingSocket->state(), QAbstractSocket::UnconnectedState);
                         QCOMPARE(d.model()->rowCount(), 2);
                         QCOMPARE(d.cell(0, 0), QStringLiteral("Kasa 2"));
                     }),
                     click("pushButton_2")});
        // Cancelled: the entry stays, cut.
        QCOMPARE(record().tcpSockets.size(), 2);
        QCOMPARE(record().tcpSockets.at(0), closingSocket);
        QCOMPARE(record().printerSelected, QList<bool>({true, false}));
        QCOMPARE(t->child<QLabel>("statusLabel")->styleSheet(), QStringLiteral("color: green"));

        runSettings({click("pushButton_4"), onDialog([](ConnectDialogTester &d) {
                         QTRY_COMPARE(d.cell(1, 3), QStringLiteral("Niepodłączona"));
                     }),
                     click("pushButton_2")});
        QCOMPARE(t->child<QLabel>("statusLabel")->text(), QStringLiteral("Drukarka niepodłączona"));
        QCOMPARE(record().linkMode, 2);

        runSettings({click("radioButton"), expectButtons("10 1 00"), click("radioButton_2"),
                     expectButtons("01 0 11"), click("pushButton_2")});
        QCOMPARE(record().linkMode, 2);
        QCOMPARE(record().chosenLinkMode, 0);
    }

    // "Rozłącz" stops a printer that is still connecting, so that it cannot
    // connect afterwards and be programmed by the next send.
    void disconnectStopsConnecting()
    {
        startWindow(tcpFile(printerLine("127.0.0.1", stuckPrinter.port, "Kasa", true)));
        QTcpSocket *socket = record().tcpSockets.at(0);
        QCOMPARE(socket->state(), QAbstractSocket::ConnectingState);
        runSettings({click("pushButton_4"), onDialog([&](ConnectDialogTester &d) {
                         QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
                         QCOMPARE(d.cell(0, 3), QStringLiteral("Niepodłączona"));
                     }),
                     click("pushButton_2")});
    }

    // Everything the operator sets in the dialog comes back after a restart.
    void survivesRestart_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<bool>("openPort");
        QTest::newRow("TCP/IP printers") << false << true;
        QTest::newRow("serial port opened") << true << true;
        QTest::newRow("serial port not to be opened") << true << false;
    }

    void survivesRestart()
    {
        QFETCH(bool, serial);
        QFETCH(bool, openPort);
        const QString port = QString::number(printer.serverPort());
        QList<Step> script = {click("newShop"), editor("Kasa Łódź", "127.0.0.1", port),
                              click("newShop"), editor("Kasa 2", "127.0.0.2", "9100"),
                              onDialog([](ConnectDialogTester &d) {
                                  d.model()->item(0, 0)->setCheckState(Qt::Checked);
                              })};
        if (!openPort)
            script << click("checkBox");
        if (serial)
            script << click("radioButton") << click("pushButton");
        else
            script << click("radioButton_2") << click("pushButton_4") << click("pushButton_2");
        ports = {comPort(ptyB)};
        runSettings(script);
        const LinkSettings set = record();
        QCOMPARE(set.linkMode, serial ? 1 : 2);

        startWindow();
        QCOMPARE(record().linkMode, set.linkMode);
        QCOMPARE(record().printerNames, QStringList({"Kasa Łódź", "Kasa 2"}));
        QCOMPARE(record().printerIps, set.printerIps);
        QCOMPARE(record().printerPorts, QStringList({port, "9100"}));
        QCOMPARE(record().printerSelected, QList<bool>({true, false}));
        QCOMPARE(record().comPortName, comPort(ptyB).portName);
        QCOMPARE(record().comPortChosen, openPort);
        QCOMPARE(record().comPortOpen, serial && openPort);
        if (!serial)
            QTRY_COMPARE(record().tcpSockets.at(0)->state(), QAbstractSocket::ConnectedState);
    }

    // Sockets added, kept, deleted and rebuilt over many passes; the sanitizer
    // run's leak check says whether any is lost.
    void manyPasses()
    {
        for (int i = 0; i < 15; ++i) {
            const QString name = QString::number(i);
            runSettings({click("newShop"), editor(name, "127.0.0.2", "9"), click("pushButton_2")});
            runSettings({click("newShop"), editor(name, "127.0.0.2", "9"), click("radioButton_2"),
                         click("pushButton_4"), selectRow(0), click("deleteShop"),
                         click("pushButton_3"), click("pushButton_2")});
            QCOMPARE(record().printerCount, 0);
            QCOMPARE(t->connections().size(), 0);
        }
        runSettings({click("newShop"), editor("x", "127.0.0.2", "9"), click("radioButton_2"),
                     click("pushButton_4"), click("pushButton_2")});
        QCOMPARE(record().printerCount, 1);
    }
};

QTEST_MAIN(TstConnectDialog)
#include "tst_connectdialog.moc"
