// The serial transfer against a printer on a pseudo-terminal: which frames reach
// the printer, in what order, and what its answers do.
#include "support/mainwindowtester.h"
#include "support/ptyprinter.h"
#include "support/recordingnotifier.h"
#include "support/testfolder.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include <functional>

namespace {

// Records, then runs `whileShown` the way a real box runs its event loop.
class BoxLoopNotifier : public RecordingNotifier
{
public:
    void show(const Notice &notice) override
    {
        RecordingNotifier::show(notice);
        if (whileShown)
            whileShown();
    }
    std::function<void()> whileShown;
};

QByteArray expectedFrame(int row, bool last, char placement, const QByteArray &payload)
{
    return "\x1BP251;" + QByteArray::number(row).rightJustified(2, '0') + ';' + (last ? '1' : '0') +
           ";53;0;" + placement + ";170$d" + payload + "\x1B\\\x05";
}

// Nothing signals that a frame was not written: the condition must still hold
// after a short grace period with the event loop running.
template <typename Condition> bool staysTrue(Condition condition)
{
    return !QTest::qWaitFor([&] { return !condition(); }, 200);
}

#define EXPECT_PROGRAMMED_BOX(notifier)                                                            \
    KELM_EXPECT_NOTICE(notifier, Notice::Critical, QStringLiteral("Kelm Graphics"),                \
                       QStringLiteral("Grafika już zaprogramowana"), Notice::Close)

struct Rig
{
    TestFolder folder;
    BoxLoopNotifier notifier;
    PtyPrinter printer;
    MainWindow window{&notifier};
    MainWindowTester tester{window};

    QSerialPort *port() { return tester.linkSettings().serialPort; }
    QByteArray hexRow(int row) { return tester.logoHex().mid((row - 1) * 104, 104); }

    // Every row differs, so a row sent in the wrong place shows.
    bool loadPattern()
    {
        QImage picture(416, 96, QImage::Format_RGB32);
        picture.fill(Qt::white);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                if (x / 4 == y || (x + 3 * y) % 7 == 0)
                    picture.setPixel(x, y, qRgb(0, 0, 0));
        const QString path = folder.filePath(QStringLiteral("wzor.png"));
        return picture.save(path) && tester.loadFile(path);
    }

    bool openOnPrinter(bool chosen = true)
    {
        LinkSettings &s = tester.linkSettings();
        s.linkMode = 1;
        s.comPortName = printer.slavePath();
        s.comPortChosen = chosen;
        tester.openLink();
        return printer.isValid() && s.comPortOpen == chosen && port()->isOpen() == chosen;
    }

    bool ready() { return loadPattern() && openOnPrinter(); }

    // sliderY such that 96 * Y / 100 == rows.
    void sendRows(int rows)
    {
        tester.sliderY()->setValue(rows == 96 ? 100 : (rows * 100 + 95) / 96);
        tester.send();
    }

    QByteArrayList sentRows()
    {
        QByteArrayList rows;
        for (const QByteArray &frame : printer.frames)
            rows.append(frame.mid(6, 2));
        return rows;
    }

    // The printer sends bytes unasked; true once the program took them as one reply.
    bool strayReply(const QByteArray &bytes)
    {
        QSignalSpy taken(port(), &QSerialPort::readyRead);
        printer.write(bytes);
        return taken.wait(5000) && taken.size() == 1 && tester.lastReply() == bytes;
    }
};

QByteArrayList rowNames(int count)
{
    QByteArrayList names;
    for (int row = 1; row <= count; ++row)
        names.append(QByteArray::number(row).rightJustified(2, '0'));
    return names;
}

} // namespace

class TstSerialTransfer : public QObject
{
    Q_OBJECT

private slots:
    void wholeLogo_data();
    void wholeLogo();
    void emptyLogoWritesNothing_data();
    void emptyLogoWritesNothing();
    void replies_data();
    void replies();
    void bytesWhileProgrammedBoxIsOpen();
    void cancelWaitsForTheReplyInFlight();
    void sendDuringTransferRestarts();
    void strayBytesWriteNothing();
    void portNotChosen();
    void portCannotBeOpened();
    void openLinkSetsTheLine();
};

void TstSerialTransfer::wholeLogo_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("footer");
    QTest::newRow("96 rows, Nagłówek") << 96 << false;
    QTest::newRow("96 rows, Stopka") << 96 << true;
    QTest::newRow("one row") << 1 << false;
}

void TstSerialTransfer::wholeLogo()
{
    QFETCH(int, rows);
    QFETCH(bool, footer);
    Rig rig;
    QVERIFY(rig.ready());
    rig.tester.footerRadio()->setChecked(footer);
    QSignalSpy writes(rig.port(), &QSerialPort::bytesWritten);

    rig.sendRows(rows);
    QCOMPARE(rig.tester.lineCount(), rows);
    QTRY_COMPARE(rig.tester.currentLine(), rows + 1);
    QCOMPARE(rig.printer.frames.size(), rows);
    for (int row = 1; row <= rows; ++row)
        QCOMPARE(rig.printer.frames.at(row - 1),
                 expectedFrame(row, row == rows, footer ? '1' : '0', rig.hexRow(row)));
    QVERIFY(rows == 1 || rig.hexRow(1) != rig.hexRow(2));
    QCOMPARE(rig.tester.progressBar()->maximum(), rows);
    QCOMPARE(rig.tester.progressBar()->value(), rows);
    QVERIFY(staysTrue([&] { return rig.printer.frames.size() == rows; }));
    qint64 written = 0;
    for (const QList<QVariant> &write : writes)
        written += write.at(0).toLongLong();
    QCOMPARE(written, qint64(rows) * 130);
    KELM_EXPECT_NO_NOTICE(rig.notifier);
}

void TstSerialTransfer::emptyLogoWritesNothing_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::newRow("X 0") << 0 << 100;
    QTest::newRow("Y 0") << 100 << 0;
    QTest::newRow("Y 1, no whole row") << 100 << 1;
}

void TstSerialTransfer::emptyLogoWritesNothing()
{
    QFETCH(int, x);
    QFETCH(int, y);
    Rig rig;
    QVERIFY(rig.ready());
    rig.tester.sliderX()->setValue(x);
    rig.tester.sliderY()->setValue(y);
    rig.tester.send();
    KELM_EXPECT_NOTICE(rig.notifier, Notice::Information, QStringLiteral("Kelm Graphics"),
                       QStringLiteral("Logo w tej skali jest puste, nic nie wysłano."), Notice::Ok);
    QCOMPARE(rig.tester.lineCount(), 0);
    // Nor does an answer arriving afterwards start anything.
    QVERIFY(rig.strayReply("\x64"));
    QVERIFY(staysTrue([&] { return rig.printer.frames.isEmpty(); }));
    KELM_EXPECT_NO_NOTICE(rig.notifier);
}

void TstSerialTransfer::replies_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second"); // set: the answer comes in two reads
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("reads");
    QTest::addColumn<bool>("stops");
    QTest::newRow("0x64 ack") << QByteArray("\x64") << QByteArray() << 4 << 4 << false;
    QTest::newRow("0x7F has the ack bits") << QByteArray("\x7F") << QByteArray() << 4 << 4 << false;
    QTest::newRow("0x60") << QByteArray("\x60") << QByteArray() << 1 << 1 << true;
    QTest::newRow("0x15") << QByteArray("\x15") << QByteArray() << 1 << 1 << true;
    QTest::newRow("0x00") << QByteArray(1, '\0') << QByteArray() << 1 << 1 << true;
    QTest::newRow("two bytes, not examined")
        << QByteArray("\x60\x15") << QByteArray() << 4 << 4 << false;
    // Every read is a reply: each piece moves on by itself, yet no row goes out
    // twice and nothing follows the last.
    QTest::newRow("two pieces, ack ack")
        << QByteArray("\x64") << QByteArray("\x64") << 4 << 8 << false;
    QTest::newRow("two pieces, ack 0x15")
        << QByteArray("\x64") << QByteArray("\x15") << 2 << 2 << true;
}

void TstSerialTransfer::replies()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(int, frames);
    QFETCH(int, reads);
    QFETCH(bool, stops);
    Rig rig;
    QVERIFY(rig.ready());
    const PrinterAnswer answer{first, second};
    rig.printer.answers = {answer};
    rig.printer.otherwise = stops ? PrinterAnswer::silent() : answer;
    QSignalSpy replies(rig.port(), &QSerialPort::readyRead);

    rig.sendRows(4);
    QTRY_COMPARE(replies.size(), reads);
    QCOMPARE(rig.tester.currentLine(), 5);
    QCOMPARE(rig.tester.progressBar()->value(), stops ? 0 : 4);
    if (stops)
        EXPECT_PROGRAMMED_BOX(rig.notifier);
    QVERIFY(staysTrue([&] { return rig.printer.frames.size() == frames; }));
    QCOMPARE(rig.sentRows(), rowNames(frames));
    KELM_EXPECT_NO_NOTICE(rig.notifier);
}

void TstSerialTransfer::bytesWhileProgrammedBoxIsOpen()
{
    Rig rig;
    QVERIFY(rig.ready());
    rig.printer.answers = {PrinterAnswer::ack(), PrinterAnswer::programmed()};
    rig.printer.otherwise = PrinterAnswer::silent();
    // While the box is up an ack arrives and is handed on as a reply. (QSerialPort
    // holds back a nested readyRead; the direct call stands for one that does not.)
    bool takenWhileShown = false;
    rig.notifier.whileShown = [&] {
        rig.printer.write("\x64");
        takenWhileShown = QTest::qWaitFor([&] { return rig.port()->bytesAvailable() > 0; });
        rig.tester.readComData();
    };

    rig.sendRows(4);
    QTRY_COMPARE(rig.notifier.count(), 1);
    QVERIFY(takenWhileShown);
    EXPECT_PROGRAMMED_BOX(rig.notifier);
    QCOMPARE(rig.tester.lastReply(), QByteArray("\x64"));
    QCOMPARE(rig.tester.currentLine(), 5);
    QVERIFY(staysTrue([&] { return rig.printer.frames.size() == 2; }));
}

void TstSerialTransfer::cancelWaitsForTheReplyInFlight()
{
    Rig rig;
    QVERIFY(rig.ready());
    rig.printer.answers = {PrinterAnswer::ack(), PrinterAnswer::ack(), PrinterAnswer::silent()};
    rig.sendRows(96);
    QTRY_COMPARE(rig.printer.frames.size(), 3);

    rig.tester.cancelButton()->click();
    QCOMPARE(rig.tester.progressBar()->value(), 0);
    QCOMPARE(rig.tester.currentLine(), 96);
    // The reply to frame 3 ends the transfer; one more changes nothing.
    for (const char *reply : {"\x64", "\x7F"}) {
        QVERIFY(rig.strayReply(reply));
        QCOMPARE(rig.tester.currentLine(), 97);
        QCOMPARE(rig.tester.progressBar()->value(), 0);
    }
    QVERIFY(staysTrue([&] { return rig.printer.frames.size() == 3; }));
    KELM_EXPECT_NO_NOTICE(rig.notifier);
}

void TstSerialTransfer::sendDuringTransferRestarts()
{
    Rig rig;
    QVERIFY(rig.ready());
    rig.printer.answers = {PrinterAnswer::ack(), PrinterAnswer::silent(), PrinterAnswer::silent()};
    rig.sendRows(4);
    QTRY_COMPARE(rig.printer.frames.size(), 2);

    // The frame is rebuilt: a placement switched meanwhile counts from now on.
    rig.tester.footerRadio()->setChecked(true);
    rig.tester.sendButton()->click();
    QCOMPARE(rig.tester.currentLine(), 1);
    QCOMPARE(rig.tester.progressBar()->value(), 1);
    QTRY_COMPARE(rig.printer.frames.size(), 3);
    // The late reply to the old frame 2 counts as the reply to the new row 1.
    rig.printer.write("\x64");
    QTRY_COMPARE(rig.tester.currentLine(), 5);
    QVERIFY(staysTrue([&] { return rig.printer.frames.size() == 6; }));

    QCOMPARE(rig.printer.frames.at(1), expectedFrame(2, false, '0', rig.hexRow(2)));
    for (int row = 1; row <= 4; ++row)
        QCOMPARE(rig.printer.frames.at(row + 1),
                 expectedFrame(row, row == 4, '1', rig.hexRow(row)));
    KELM_EXPECT_NO_NOTICE(rig.notifier);
}

void TstSerialTransfer::strayBytesWriteNothing()
{
    Rig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.strayReply("\x64"));
    QVERIFY(staysTrue([&] { return rig.printer.frames.isEmpty(); }));

    rig.sendRows(4);
    QTRY_COMPARE(rig.tester.currentLine(), 5);
    QCOMPARE(rig.sentRows(), rowNames(4));
    // After the end: an ack, garbage, and a "programmed" byte, which is still
    // examined and reported; none counts on or writes.
    for (const QByteArray &stray :
         {QByteArray("\x64"), QByteArray("\x01\xFF\x00", 3), QByteArray("\x15")}) {
        QVERIFY(rig.strayReply(stray));
        QCOMPARE(rig.tester.currentLine(), 5);
    }
    EXPECT_PROGRAMMED_BOX(rig.notifier);
    QVERIFY(staysTrue([&] { return rig.printer.frames.size() == 4; }));
    KELM_EXPECT_NO_NOTICE(rig.notifier);
}

void TstSerialTransfer::portNotChosen()
{
    Rig rig;
    QVERIFY(rig.ready());
    // Turning the choice off closes the port at the next openLink, silently.
    QVERIFY(rig.openOnPrinter(false));
    QCOMPARE(rig.tester.linkSettings().linkMode, 1);
    KELM_EXPECT_NO_NOTICE(rig.notifier);

    rig.sendRows(4);
    KELM_EXPECT_NOTICE(rig.notifier, Notice::Critical, QStringLiteral("Kelm Graphics"),
                       QStringLiteral("Niewybrany port COM."), Notice::Close);
    QCOMPARE(rig.tester.currentLine(), 1);
    QCOMPARE(rig.tester.progressBar()->value(), 1);
    QCOMPARE(rig.port()->bytesToWrite(), 0);
    QVERIFY(staysTrue([&] { return rig.printer.frames.isEmpty(); }));
    KELM_EXPECT_NO_NOTICE(rig.notifier);
}

void TstSerialTransfer::portCannotBeOpened()
{
    Rig rig;
    QVERIFY(rig.loadPattern());
    LinkSettings &s = rig.tester.linkSettings();
    s.linkMode = 1;
    s.comPortName = rig.folder.filePath(QStringLiteral("brak-portu"));
    rig.tester.openLink();
    KELM_EXPECT_NOTICE(rig.notifier, Notice::Critical, QStringLiteral("Błąd"),
                       QStringLiteral("Nie można otworzyć portu COM."), Notice::Close);
    QCOMPARE(s.linkMode, 0);
    QVERIFY(!s.comPortOpen);
    QVERIFY(!rig.tester.sendButton()->isEnabled());
    KELM_EXPECT_NO_NOTICE(rig.notifier);
}

void TstSerialTransfer::openLinkSetsTheLine()
{
    Rig rig;
    QVERIFY(rig.loadPattern());
    QVERIFY(!rig.tester.sendButton()->isEnabled());
    QSerialPort *port = rig.port();
    // 9600 is the port object's default as well; start elsewhere so the setting shows.
    port->setBaudRate(QSerialPort::Baud115200);
    QVERIFY(rig.openOnPrinter());
    QVERIFY(rig.tester.sendButton()->isEnabled());
    QCOMPARE(port->openMode(), QIODevice::ReadWrite);
    QCOMPARE(port->baudRate(QSerialPort::Input), 9600);
    QCOMPARE(port->baudRate(QSerialPort::Output), 9600);
    // What the device itself was given: 8N1, no flow control.
    const termios line = rig.printer.lineSettings();
    QCOMPARE(cfgetospeed(&line), speed_t(B9600));
    QCOMPARE(cfgetispeed(&line), speed_t(B9600));
    QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));
    KELM_EXPECT_NO_NOTICE(rig.notifier);
}

QTEST_MAIN(TstSerialTransfer)
#include "tst_serialtransfer.moc"
