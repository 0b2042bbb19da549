// The link and the status line: the serial port opened, dropped and gone away;
// TCP/IP printers counted and disconnected (sockets to a local server); more
// printers than the open-file limit allows. A serial printer that falls silent
// can be stopped; one whose answers are no acknowledgement ends unconfirmed.
#include "core/system/filedescriptors.h"
#include "support/notices.h"
#include "support/serialrig.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <ctime>
#include <sys/resource.h>

class TstLinkStatus : public QObject, NotifierFixture
{
    Q_OBJECT

private slots:
    void init() { resetNotifier(); }
    void cleanup() { checkNotifier(); }

    // A port that cannot be opened leaves no link, and the status line as it was.
    // One that opens gets 9600 baud, 8N1, no flow control (as the device itself was
    // given them) and shows green; dropped, red from the next refresh on.
    void serialLinkAndStatus()
    {
        SerialRig rig(notifier);
        QVERIFY(!rig.openSerial(rig.folder.filePath(QStringLiteral("brak-portu"))));
        KELM_EXPECT_NOTICE(notifier, Notice::Critical, QStringLiteral("Błąd"),
                           QStringLiteral("Nie można otworzyć portu COM."), Notice::Close);
        QCOMPARE(rig.t.linkSettings().linkMode, 0);
        rig.t.statusTick();
        QCOMPARE(rig.shown(), QStringLiteral("red: Drukarka KELM Qarto 3 Niepodłączona"));

        const QString name = rig.printer.slavePath();
        rig.port()->setBaudRate(QSerialPort::Baud115200); // 9600 is the default as well
        QVERIFY(rig.openSerial(name));
        termios line{};
        QCOMPARE(tcgetattr(rig.printer.slaveFd(), &line), 0);
        QCOMPARE(cfgetospeed(&line), speed_t(B9600));
        QCOMPARE(cfgetispeed(&line), speed_t(B9600));
        QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
        QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));
        rig.t.statusTick();
        QCOMPARE(rig.shown(), "green: Drukarka podłączona do portu " + name + '.');
        rig.t.closeLink();
        QVERIFY(!rig.port()->isOpen());
        QCOMPARE(rig.shown(), QStringLiteral("green: Drukarka niepodłączona"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.shown(), "red: Nie otwarty port " + name + '.', 1500);
    }

    // Unplugged during a transfer: the port is closed, the transfer ends as on
    // "Przerwij" and the operator is told once; the status line turns red, and
    // the dead line is not polled. "Wyślij" then tries the port again and says
    // that it cannot; a port that is back is opened again and programmed.
    void printerGoesAway()
    {
        SerialRig rig(notifier);
        QVERIFY(rig.ready());
        rig.printer.answers = {PrinterAnswer::ack(), PrinterAnswer::silent()};
        rig.sendRows(4);
        QTRY_COMPARE(rig.printer.frames.size(), 2);

        rig.printer.unplug();
        QTRY_VERIFY(!rig.port()->isOpen());
        QVERIFY(!rig.t.linkSettings().comPortOpen);
        QCOMPARE(rig.progress->value(), 0);
        QCOMPARE(rig.t.currentLine(), 5);
        rig.t.statusTick();
        QCOMPARE(rig.shown(), "red: Nie otwarty port " + rig.printer.slavePath() + '.');

        const std::clock_t before = std::clock();
        QTest::qWait(500);
        const double cpuMs = 1000.0 * double(std::clock() - before) / CLOCKS_PER_SEC;
        QVERIFY2(cpuMs < 100, qPrintable(QString::number(cpuMs) + " ms of CPU in 500 ms idle"));
        const QString name = rig.printer.slavePath();
        KELM_EXPECT_BOX(notifier, Critical,
                        "Port " + name +
                            " drukarki został odłączony. Logo nie zostało wysłane w całości.",
                        Close);

        rig.t.linkSettings().comPortName = rig.folder.filePath(QStringLiteral("brak-portu"));
        rig.port()->setPortName(rig.t.linkSettings().comPortName);
        rig.sendRows(4);
        KELM_EXPECT_NOTICE(notifier, Notice::Critical, QStringLiteral("Błąd"),
                           "Nie można otworzyć portu " + rig.t.linkSettings().comPortName +
                               ". Logo nie zostało wysłane.",
                           Notice::Close);
        QCOMPARE(rig.progress->value(), 0);

        PtyPrinter back;
        rig.t.linkSettings().comPortName = back.slavePath();
        rig.port()->setPortName(back.slavePath());
        rig.sendRows(4);
        QTRY_COMPARE(back.frames.size(), 4);
        QTRY_COMPARE(rig.t.currentLine(), 5);
        QVERIFY(rig.t.linkSettings().comPortOpen);
    }

    // Counted: the entries both selected and connected, in the colour last set.
    // Dropped: every connected entry, by closeLink, disconnectTcpPrinters, and
    // going over to the serial link; only closeLink shows it.
    void tcpLinkAndStatus()
    {
        SerialRig rig(notifier);
        rig.t.linkSettings().linkMode = 2;
        for (const bool selected : {true, true, false})
            QVERIFY(rig.addPrinter(selected, true));
        QVERIFY(rig.addPrinter(true, false));
        rig.t.statusTick();
        QCOMPARE(rig.shown(), QStringLiteral("red: Podłączono TCP/IP do 2 drukarek."));
        rig.t.closeLink();
        QCOMPARE(rig.shown(), QStringLiteral("green: Drukarka niepodłączona"));
        QTRY_VERIFY(rig.allDisconnected());
        rig.t.statusTick();
        QCOMPARE(rig.shown(), QStringLiteral("green: Połączenie TCP/IP: brak"));

        QVERIFY(rig.addPrinter(true, true));
        rig.t.statusTick();
        QCOMPARE(rig.shown(), QStringLiteral("green: Podłączono TCP/IP do 1 drukarek."));
        rig.t.disconnectTcpPrinters();
        QTRY_VERIFY(rig.allDisconnected());
        QVERIFY(rig.addPrinter(true, true));
        QVERIFY(rig.openSerial(rig.printer.slavePath()));
        QTRY_VERIFY(rig.allDisconnected());
        QCOMPARE(rig.shown(), QStringLiteral("green: Podłączono TCP/IP do 1 drukarek."));
        QCOMPARE(rig.t.linkSettings().tcpSockets.size(), 6);
    }

    // More ticked printers than the open-file limit leaves descriptors for: those
    // that fit are connected, and one box says how many are not and why.
    void morePrintersThanDescriptors()
    {
        TestFolder folder;
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QByteArray settings = "\nTCP\n";
        for (int i = 0; i < 40; ++i)
            settings += "Drukarka:TCP:127.0.0.1:" + QByteArray::number(server.serverPort()) +
                        ":Kasa " + QByteArray::number(i) + ":1\n";
        QFile file(QStringLiteral("settings.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(settings + "COM::0\n"));
        file.close();
        rlimit limit{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limit), 0);
        const rlimit before = limit;
        limit.rlim_cur = rlim_t(openFileLimit() - spareFileDescriptors() + 64 + 10);
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
        int connecting = -1;
        {
            MainWindow window(&notifier);
            MainWindowTester t(window);
            connecting = int(std::count_if(
                t.linkSettings().tcpSockets.begin(), t.linkSettings().tcpSockets.end(),
                [](QTcpSocket *s) { return s->state() != QAbstractSocket::UnconnectedState; }));
        }
        ::setrlimit(RLIMIT_NOFILE, &before);
        // Those made before the window (the settings file, the display) may
        // take a few of the ten.
        QVERIFY2(connecting >= 5 && connecting <= 10, qPrintable(QString::number(connecting)));
        KELM_EXPECT_BOX(notifier, Critical,
                        QStringLiteral("Nie połączono %1 z 40 zaznaczonych drukarek: system "
                                       "pozwala programowi otworzyć naraz najwyżej %2 plików "
                                       "i połączeń.")
                            .arg(40 - connecting)
                            .arg(limit.rlim_cur),
                        Notice::Close);
    }

    // Ten frames answered, then silence: the bar says so and keeps waiting;
    // "Przerwij" ends the transfer within the grace, and a late answer writes
    // nothing more.
    void silentThenStopped()
    {
        SerialRig rig(notifier);
        const auto ended = [&] { return rig.t.currentLine() == rig.t.lineCount() + 1; };
        rig.t.answerTimeoutMs() = 300;
        for (int i = 0; i < 10; ++i)
            rig.printer.answers.append(PrinterAnswer::ack());
        rig.printer.otherwise = PrinterAnswer::silent();
        QVERIFY(rig.ready());
        rig.sendRows(20);
        QTRY_VERIFY(rig.progress->text().contains(QStringLiteral("brak odpowiedzi od")));
        QCOMPARE(rig.printer.frames.size(), 11);
        QVERIFY(!ended());

        QElapsedTimer stopping;
        stopping.start();
        rig.t.cancel();
        QTRY_VERIFY_WITH_TIMEOUT(ended(), 2000);
        QVERIFY(stopping.elapsed() < 2000);
        QCOMPARE(rig.progress->text(), QStringLiteral("przerwano"));

        rig.printer.write("\x64");
        QVERIFY(!QTest::qWaitFor([&] { return rig.printer.frames.size() > 11; }, 200));
    }

    // Every frame goes out, but two bytes for an answer are no acknowledgement.
    void unconfirmed()
    {
        SerialRig rig(notifier);
        rig.printer.otherwise = {"\x64\x64", {}};
        QVERIFY(rig.ready());
        rig.sendRows(5);
        QTRY_VERIFY(rig.t.currentLine() == 6);
        QCOMPARE(rig.printer.frames.size(), 5);
        QTRY_COMPARE(rig.progress->text(),
                     QStringLiteral("niepotwierdzona: odpowiedzi inne niż potwierdzenie"));
    }
};

QTEST_MAIN(TstLinkStatus)
#include "tst_linkstatus.moc"
