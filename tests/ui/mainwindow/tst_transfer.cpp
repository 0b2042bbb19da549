// The graphic frame, and the serial transfer against a printer on a
// pseudo-terminal: answers, stray bytes, cancel and restart, silence and stop,
// answers that are no acknowledgement. The link and the status line: the serial
// port opened, dropped and gone away; TCP/IP printers counted and disconnected;
// more printers than the open-file limit allows.
#include "core/printer/frame.h"
#include "core/system/filedescriptors.h"
#include "support/notices.h"
#include "support/serialrig.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <ctime>
#include <sys/resource.h>

namespace {

#define EXPECT_PROGRAMMED_BOX(notifier)                                                            \
    KELM_EXPECT_BOX(notifier, Critical, QStringLiteral("Grafika już zaprogramowana"), Close)

} // namespace

class TstTransfer : public QObject, NotifierFixture
{
    Q_OBJECT

private slots:
    void init() { resetNotifier(); }
    void cleanup() { checkNotifier(); }

    void fillsFrame_data()
    {
        QTest::addColumn<bool>("footer");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<QByteArray>("head");
        QTest::newRow("header, row 1 of 96") << false << 1 << 96 << QByteArray("01;0;53;0;0");
        QTest::newRow("footer, row 96 of 96") << true << 96 << 96 << QByteArray("96;1;53;0;1");
        QTest::newRow("one-row logo") << false << 1 << 1 << QByteArray("01;1;53;0;0");
        QTest::newRow("row 9") << false << 9 << 96 << QByteArray("09;0;53;0;0");
        QTest::newRow("row 10") << true << 10 << 96 << QByteArray("10;0;53;0;1");
    }

    void fillsFrame()
    {
        QFETCH(bool, footer);
        QFETCH(int, row);
        QFETCH(int, lineCount);
        QFETCH(QByteArray, head);
        const QByteArray hex = logoHexOf(lineCount);
        QByteArray frame =
            buildFrameTemplate(footer ? LogoPlacement::Footer : LogoPlacement::Header);
        QVERIFY(fillFrameRow(frame, row, lineCount, hex));
        QCOMPARE(frame,
                 "\x1BP251;" + head + ";170$d" + hex.mid((row - 1) * 104, 104) + "\x1B\\\x05");
    }

    // A row the logo does not hold, or a frame of another size, is refused untouched.
    void refusesRow()
    {
        const QByteArray header = buildFrameTemplate(LogoPlacement::Header);
        QByteArray frame = header;
        QVERIFY(!fillFrameRow(frame, 0, 3, logoHexOf(3)));
        QVERIFY(!fillFrameRow(frame, 4, 3, logoHexOf(4)));
        QVERIFY(!fillFrameRow(frame, 3, 3, logoHexOf(3).chopped(1)));
        QCOMPARE(frame, header);
        QByteArray cut = header.chopped(1);
        QVERIFY(!fillFrameRow(cut, 1, 3, logoHexOf(3)));
    }

    void transfer_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second"); // set: the answer comes in two reads
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("progress"); // 0: stopped with the box
        const QByteArray none;
        const QByteArray ack("\x64");
        QTest::newRow("96 rows") << 96 << ack << none << 96 << 96;
        QTest::newRow("one row") << 1 << ack << none << 1 << 1;
        QTest::newRow("0x7F has the ack bits") << 4 << QByteArray("\x7F") << none << 4 << 4;
        QTest::newRow("0x60") << 4 << QByteArray("\x60") << none << 1 << 0;
        QTest::newRow("0x15") << 4 << QByteArray("\x15") << none << 1 << 0;
        QTest::newRow("0x00") << 4 << QByteArray(1, '\0') << none << 1 << 0;
        QTest::newRow("two bytes, not examined") << 4 << QByteArray("\x60\x15") << none << 4 << 4;
        QTest::newRow("silent: the transfer stays open") << 4 << none << none << 1 << 1;
        // Every read is a reply: each piece moves on, yet no row goes out twice.
        QTest::newRow("two pieces, ack ack") << 4 << ack << ack << 4 << 4;
        QTest::newRow("two pieces, ack 0x15") << 4 << ack << QByteArray("\x15") << 2 << 0;
    }

    void transfer()
    {
        QFETCH(int, rows);
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(int, frames);
        QFETCH(int, progress);
        SerialRig rig(notifier);
        QVERIFY(rig.ready());
        rig.printer.answers = {{first, second}};
        rig.printer.otherwise = progress == 0 ? PrinterAnswer::silent() : rig.printer.answers[0];

        rig.sendRows(rows);
        QCOMPARE(rig.progress->maximum(), rows);
        QTRY_COMPARE(rig.printer.frames.size(), frames);
        QTRY_COMPARE(rig.t.currentLine(), first.isEmpty() ? 1 : rows + 1);
        QTRY_VERIFY(rig.printerHasAll());
        QCOMPARE(rig.printer.frames.size(), frames);
        QCOMPARE(rig.sentRows(), rowFields(1, frames, rows));
        // The box first: before it the bar may still read 0 from the start.
        if (progress == 0) {
            QTRY_VERIFY(!notifier.isEmpty());
            EXPECT_PROGRAMMED_BOX(notifier);
        }
        QTRY_COMPARE(rig.progress->value(), progress); // the bar is redrawn at most so often
    }

    // The "programmed" box runs an event loop, outside the port's notification.
    // What arrives meanwhile (a flood, a stray "programmed" byte) is read and
    // dropped: memory stays bounded, no second box, nothing moves on; and after
    // the box the next send reads its answers again.
    void bytesDuringProgrammedBox()
    {
        SerialRig rig(notifier);
        QVERIFY(rig.ready());
        rig.printer.answers = {PrinterAnswer::ack()};
        rig.printer.otherwise = PrinterAnswer::programmed();
        bool ended = false, shown = false;
        qint64 held = 0;
        notifier.whileShown = [&] {
            if (std::exchange(shown, true))
                return;
            ended = rig.t.currentLine() == rig.t.lineCount() + 1;
            const QByteArray junk(4096, '\x15');
            qint64 sent = 0;
            QVERIFY(QTest::qWaitFor(
                [&] {
                    held = std::max(held, rig.port()->bytesAvailable());
                    for (ssize_t n = 0; sent < (2 << 20) && n >= 0; sent += std::max<ssize_t>(n, 0))
                        n = ::write(rig.printer.masterFd(), junk.constData(), size_t(junk.size()));
                    return sent >= (2 << 20);
                },
                60000));
            rig.printer.write(QByteArray(1, '\0'));
            QTRY_COMPARE(rig.printer.unreadByProgram(), 0);
        };
        rig.sendRows(4);
        QTRY_VERIFY(!notifier.isEmpty());
        EXPECT_PROGRAMMED_BOX(notifier);
        QVERIFY2(held <= 64 * 1024, qPrintable(QString::number(held) + " bytes held"));
        QVERIFY(ended);
        // The stray byte after the box is read: no second box, and no frame
        // before those of the next send.
        QTRY_VERIFY(rig.printer.allTaken());
        QVERIFY(notifier.isEmpty());

        QVERIFY(rig.nextSendFollows(rowFields(1, 2, 4)));
    }

    // "Przerwij" awaits the reply in flight, which ends the transfer. Bytes after
    // the end (an ack, garbage, a "programmed" byte) are no answer: they write
    // nothing and show nothing.
    void cancelThenStrayBytes()
    {
        SerialRig rig(notifier);
        QVERIFY(rig.ready());
        rig.printer.answers = {PrinterAnswer::ack(), PrinterAnswer::ack(), PrinterAnswer::silent()};
        rig.sendRows(96);
        QTRY_COMPARE(rig.printer.frames.size(), 3);

        rig.t.child<QPushButton>("cancelButton")->click();
        QCOMPARE(rig.progress->value(), 0);
        QCOMPARE(rig.t.currentLine(), 96);
        for (const QByteArray &stray : {QByteArray("\x64"), QByteArray("\x7F"),
                                        QByteArray("\x01\xFF\x00", 3), QByteArray("\x15")}) {
            QVERIFY(rig.strayReply(stray));
            QCOMPARE(rig.t.currentLine(), 97);
            QCOMPARE(rig.progress->value(), 0);
        }
        QVERIFY(rig.nextSendFollows(rowFields(1, 3, 96)));
    }

    void sendDuringTransferRestarts()
    {
        SerialRig rig(notifier);
        QVERIFY(rig.ready());
        rig.printer.answers = {PrinterAnswer::ack(), PrinterAnswer::silent(),
                               PrinterAnswer::silent()};
        rig.sendRows(4);
        QTRY_COMPARE(rig.printer.frames.size(), 2);

        rig.t.child<QPushButton>("sendButton")->click();
        QCOMPARE(rig.t.currentLine(), 1);
        QTRY_COMPARE(rig.printer.frames.size(), 3);
        // The late reply to the old frame 2 counts as the reply to the new row 1.
        rig.printer.write("\x64");
        QTRY_COMPARE(rig.t.currentLine(), 5);
        QVERIFY(rig.nextSendFollows(rowFields(1, 2, 4) + rowFields(1, 4, 4)));
    }

    // Bytes before the first send or after an empty logo write nothing; with the
    // port not chosen openLink closes it silently and "Wyślij" only reports that.
    void emptyLogoAndPortNotChosen()
    {
        SerialRig rig(notifier);
        QVERIFY(rig.ready());
        QVERIFY(rig.strayReply("\x64"));
        rig.t.sliderX()->setValue(0);
        rig.t.send();
        KELM_EXPECT_BOX(notifier, Information,
                        QStringLiteral("Logo w tej skali jest puste, nic nie wysłano."), Ok);
        QVERIFY(rig.strayReply("\x64"));

        rig.t.sliderX()->setValue(100);
        QVERIFY(rig.openSerial(rig.printer.slavePath(), false));
        KELM_EXPECT_NO_NOTICE(notifier);
        rig.sendRows(4);
        KELM_EXPECT_BOX(notifier, Critical, QStringLiteral("Niewybrany port COM."), Close);
        QVERIFY(!rig.port()->isOpen()); // so nothing can reach the printer
        QVERIFY(rig.printer.frames.isEmpty());
    }

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

QTEST_MAIN(TstTransfer)
#include "tst_transfer.moc"
