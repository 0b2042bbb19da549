// The graphic frame, and the serial transfer against a printer on a
// pseudo-terminal: answers, stray bytes, cancel and restart.
#include "core/printer/frame.h"
#include "support/notices.h"
#include "support/serialrig.h"

#include <QTest>

#include <algorithm>

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
};

QTEST_MAIN(TstTransfer)
#include "tst_transfer.moc"
