// The status line against real link state (a pseudo-terminal printer, sockets
// connected to a local server), and the operations that drop the link.
#include "support/mainwindowtester.h"
#include "support/ptyprinter.h"
#include "support/recordingnotifier.h"
#include "support/testfolder.h"

#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

const QString startText = QStringLiteral("Drukarka KELM Qarto 3 Niepodłączona");
const QString green = QStringLiteral("color: green");
const QString red = QStringLiteral("color: red");

struct Rig
{
    TestFolder folder;
    RecordingNotifier notifier;
    PtyPrinter printer;
    QTcpServer server;
    QList<QTcpSocket *> printerEnds; // owned by the server
    MainWindow window{&notifier};
    MainWindowTester tester{window};

    QLabel *status() { return tester.statusLabel(); }

    void openSerial(const QString &portName, bool chosen)
    {
        LinkSettings &s = tester.linkSettings();
        s.linkMode = 1;
        s.comPortName = portName;
        s.comPortChosen = chosen;
        tester.openLink();
    }

    // Appends a printer entry; a connected one is connected for real.
    bool addPrinter(bool selected, bool connected)
    {
        if (!server.isListening() && !server.listen(QHostAddress::LocalHost, 0))
            return false;
        LinkSettings &s = tester.linkSettings();
        auto *socket = new QTcpSocket;
        s.tcpSockets.append(socket);
        s.printerNames.append(QStringLiteral("Kasa %1").arg(s.tcpSockets.size()));
        s.printerIps.append(QStringLiteral("127.0.0.1"));
        s.printerPorts.append(QString::number(server.serverPort()));
        s.printerSelected.append(selected);
        s.printerCount = s.tcpSockets.size();
        if (!connected)
            return true;
        socket->connectToHost(QHostAddress::LocalHost, server.serverPort());
        if (!socket->waitForConnected(5000) || !server.waitForNewConnection(5000))
            return false;
        printerEnds.append(server.nextPendingConnection());
        return true;
    }

    bool allDisconnected()
    {
        for (QTcpSocket *socket : tester.linkSettings().tcpSockets + printerEnds)
            if (socket->state() != QAbstractSocket::UnconnectedState)
                return false;
        return true;
    }
};

} // namespace

class TstStatusMonitor : public QObject
{
    Q_OBJECT

private slots:
    void tcpCountsSelectedConnected_data();
    void tcpCountsSelectedConnected();
    void serial_data();
    void serial();
    void closeLinkSerial();
    void droppingTcpDisconnects_data();
    void droppingTcpDisconnects();
    void timerRefreshes();
};

void TstStatusMonitor::tcpCountsSelectedConnected_data()
{
    QTest::addColumn<QList<bool>>("selected");
    QTest::addColumn<QList<bool>>("connected");
    QTest::addColumn<QString>("text");
    QTest::newRow("two of three, third not selected")
        << QList<bool>{true, true, false} << QList<bool>{true, true, true}
        << QStringLiteral("Podłączono TCP/IP do 2 drukarek.");
    QTest::newRow("one, same plural") << QList<bool>{true} << QList<bool>{true}
                                      << QStringLiteral("Podłączono TCP/IP do 1 drukarek.");
    QTest::newRow("none selected and connected")
        << QList<bool>{true, false} << QList<bool>{false, true}
        << QStringLiteral("Połączenie TCP/IP: brak");
    QTest::newRow("no printers") << QList<bool>{} << QList<bool>{}
                                 << QStringLiteral("Połączenie TCP/IP: brak");
}

void TstStatusMonitor::tcpCountsSelectedConnected()
{
    QFETCH(QList<bool>, selected);
    QFETCH(QList<bool>, connected);
    QFETCH(QString, text);
    Rig rig;
    for (int i = 0; i < selected.size(); ++i)
        QVERIFY(rig.addPrinter(selected.at(i), connected.at(i)));
    rig.tester.linkSettings().linkMode = 2;
    // This mode never sets the colour: whatever was last set stays.
    rig.status()->setStyleSheet(QStringLiteral("color: blue"));
    rig.tester.statusTick();
    QCOMPARE(rig.status()->text(), text);
    QCOMPARE(rig.status()->styleSheet(), QStringLiteral("color: blue"));
    KELM_EXPECT_NO_NOTICE(rig.notifier);
}

void TstStatusMonitor::serial_data()
{
    QTest::addColumn<bool>("onPrinter"); // else a port that does not exist
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<QString>("text"); // %1: the port name
    QTest::addColumn<QString>("style");
    QTest::newRow("open") << true << true << QStringLiteral("Drukarka podłączona do portu %1.")
                          << green;
    QTest::newRow("not opened") << true << false << QStringLiteral("Nie otwarty port %1.") << red;
    // The failure leaves linkMode 0, and then the line keeps what it shows.
    QTest::newRow("opening failed") << false << true << startText << red;
}

void TstStatusMonitor::serial()
{
    QFETCH(bool, onPrinter);
    QFETCH(bool, chosen);
    QFETCH(QString, text);
    QFETCH(QString, style);
    Rig rig;
    const QString name =
        onPrinter ? rig.printer.slavePath() : rig.folder.filePath(QStringLiteral("brak"));
    rig.openSerial(name, chosen);
    if (!onPrinter)
        KELM_EXPECT_NOTICE(rig.notifier, Notice::Critical, QStringLiteral("Błąd"),
                           QStringLiteral("Nie można otworzyć portu COM."), Notice::Close);
    for (int tick = 0; tick < 2; ++tick) {
        rig.tester.statusTick();
        QCOMPARE(rig.status()->text(), QString(text).replace("%1", name));
        QCOMPARE(rig.status()->styleSheet(), style);
        // Set again on every tick, whatever was shown meanwhile.
        if (onPrinter)
            rig.status()->setStyleSheet(QStringLiteral("color: blue"));
    }
    KELM_EXPECT_NO_NOTICE(rig.notifier);
}

void TstStatusMonitor::closeLinkSerial()
{
    Rig rig;
    rig.openSerial(rig.printer.slavePath(), true);
    QVERIFY(rig.tester.linkSettings().comPortOpen);
    rig.tester.closeLink();
    QVERIFY(!rig.tester.linkSettings().serialPort->isOpen());
    QVERIFY(!rig.tester.linkSettings().comPortOpen);
    QCOMPARE(rig.tester.linkSettings().linkMode, 1);
    QCOMPARE(rig.status()->text(), QStringLiteral("Drukarka niepodłączona"));
    QCOMPARE(rig.status()->styleSheet(), green);

    rig.tester.statusTick();
    QCOMPARE(rig.status()->text(), "Nie otwarty port " + rig.printer.slavePath() + '.');
    QCOMPARE(rig.status()->styleSheet(), red);
    KELM_EXPECT_NO_NOTICE(rig.notifier);
}

void TstStatusMonitor::droppingTcpDisconnects_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style");
    QTest::newRow("closeLink") << "closeLink" << QStringLiteral("Drukarka niepodłączona") << green;
    QTest::newRow("disconnectTcpPrinters") << "disconnectTcpPrinters" << startText << red;
    // Going over to the serial link drops the printers too.
    QTest::newRow("openLink, serial") << "openLink" << startText << red;
}

void TstStatusMonitor::droppingTcpDisconnects()
{
    QFETCH(QString, operation);
    QFETCH(QString, text);
    QFETCH(QString, style);
    Rig rig;
    // Selection does not matter here: every connected socket goes.
    QVERIFY(rig.addPrinter(true, true));
    QVERIFY(rig.addPrinter(false, true));
    QVERIFY(rig.addPrinter(true, false));
    rig.tester.linkSettings().linkMode = 2;

    if (operation == "closeLink")
        rig.tester.closeLink();
    else if (operation == "disconnectTcpPrinters")
        rig.tester.disconnectTcpPrinters();
    else
        rig.openSerial(rig.printer.slavePath(), true);
    QCOMPARE(rig.status()->text(), text);
    QCOMPARE(rig.status()->styleSheet(), style);
    QTRY_VERIFY(rig.allDisconnected());
    QCOMPARE(rig.tester.linkSettings().tcpSockets.size(), 3);
    if (operation == "closeLink") {
        rig.tester.statusTick();
        QCOMPARE(rig.status()->text(), QStringLiteral("Połączenie TCP/IP: brak"));
        QCOMPARE(rig.status()->styleSheet(), green);
    }
    KELM_EXPECT_NO_NOTICE(rig.notifier);
}

void TstStatusMonitor::timerRefreshes()
{
    Rig rig;
    QCOMPARE(rig.tester.statusTimer()->interval(), 1000);
    rig.tester.linkSettings().linkMode = 1;
    rig.tester.linkSettings().comPortName = QStringLiteral("COM3");
    QTRY_COMPARE_WITH_TIMEOUT(rig.status()->text(), QStringLiteral("Nie otwarty port COM3."), 3000);
    QCOMPARE(rig.status()->styleSheet(), red);
    KELM_EXPECT_NO_NOTICE(rig.notifier);
}

QTEST_MAIN(TstStatusMonitor)
#include "tst_statusmonitor.moc"
