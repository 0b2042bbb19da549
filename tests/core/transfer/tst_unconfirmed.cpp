// What a Connection makes of answers that are not the one acknowledgement byte
// (an echo, a line connected to itself), and of bytes nobody asked for, as a rate.
#include "core/printer/frame.h"
#include "core/transfer/connection.h"
#include "core/transfer/printeroutcome.h"
#include "support/connectionlink.h"
#include "support/logorows.h"
#include "support/loopbackprinter.h"
#include "support/recordingnotifier.h"

#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(PrinterOutcome)

class TstUnconfirmed : public QObject
{
    Q_OBJECT

    RecordingNotifier notifier;

private slots:
    void init() { notifier = RecordingNotifier(); }
    void cleanup() { KELM_EXPECT_NO_NOTICE(notifier); }

    // Every row goes out whatever the answers; only single acknowledgement bytes
    // throughout end programmed.
    void answers_data()
    {
        QTest::addColumn<QByteArrayList>("answers"); // then 0x64
        QTest::addColumn<bool>("echo");
        QTest::addColumn<PrinterOutcome>("outcome");
        const QByteArray ack("\x64");
        QTest::newRow("acknowledged") << QByteArrayList{} << false << PrinterOutcome::Programmed;
        QTest::newRow("0x7F") << QByteArrayList{"\x7F"} << false << PrinterOutcome::Programmed;
        QTest::newRow("echo") << QByteArrayList{} << true << PrinterOutcome::Unconfirmed;
        QTest::newRow("two bytes once")
            << QByteArrayList{ack, "\x64\x64"} << false << PrinterOutcome::Unconfirmed;
        QTest::newRow("HTTP") << QByteArrayList{"HTTP/1.1 400 Bad Request\r\n\r\n"} << false
                              << PrinterOutcome::Unconfirmed;
    }
    void answers()
    {
        QFETCH(QByteArrayList, answers);
        QFETCH(bool, echo);
        QFETCH(PrinterOutcome, outcome);
        LoopbackPrinter printer;
        printer.answers = answers;
        printer.echo = echo;
        ConnectionLink link(notifier);
        QVERIFY(link.connectTo(printer.port()));
        link.start(5);
        QTRY_VERIFY(hasEnded(link.connection.outcome()));
        QCOMPARE(link.connection.outcome(), outcome);
        QCOMPARE(printer.frames.size(), 5);
        QCOMPARE(link.connection.rowsSent(), 5);
        QCOMPARE(link.finished.size(), 1);
        // Another transfer on the same line starts confirmed again.
        if (!echo) {
            link.start(2);
            QTRY_COMPARE(link.connection.outcome(), PrinterOutcome::Programmed);
        }
    }

    void outcomeWords()
    {
        QVERIFY(isFailure(PrinterOutcome::Unconfirmed));
        QCOMPARE(outcomeText(PrinterOutcome::Unconfirmed, 5, 5), QStringLiteral("niepotwierdzona"));
        QCOMPARE(outcomeKey(PrinterOutcome::Unconfirmed), QStringLiteral("unconfirmed"));
        QVERIFY(!isFailure(PrinterOutcome::BadPort) && hasEnded(PrinterOutcome::BadPort));
        QCOMPARE(outcomeText(PrinterOutcome::BadPort, 0, 5), QStringLiteral("błędny port"));
        QCOMPARE(outcomeKey(PrinterOutcome::BadPort), QStringLiteral("bad_port"));
        for (const char *port : {"-1", "0", "70000", "80a", "", " 9100x", "+80", "99999999999"})
            QVERIFY2(!tcpPortOf(QString::fromLatin1(port)), port);
        QCOMPARE(tcpPortOf(QStringLiteral("9100")).value_or(0), 9100);
        QCOMPARE(tcpPortOf(QStringLiteral("65535")).value_or(0), 65535);
        QCOMPARE(tcpPortOf(QStringLiteral("009100")).value_or(0), 9100);
    }

    // A socket bound to a port and connected to that same port reads back every
    // frame it writes.
    void selfConnected()
    {
        const quint16 port = LoopbackPrinter::deadPort();
        ConnectionLink link(notifier);
        if (!link.socket.bind(QHostAddress::LocalHost, port) || !link.connectTo(port))
            QSKIP("the kernel did not connect the port to itself");
        link.start(5);
        QTRY_VERIFY(hasEnded(link.connection.outcome()));
        QCOMPARE(link.connection.outcome(), PrinterOutcome::Unconfirmed);
    }

    // A device chattering below the rate keeps its line for good; a burst over
    // the limit is cut off.
    void floodRate()
    {
        LoopbackPrinter printer;
        ConnectionLink link(notifier);
        link.connection.setFloodLimit(2048, 400); // about 5 bytes per ms
        QVERIFY(link.connectTo(printer.port()));
        QTRY_VERIFY(printer.last());
        QTcpSocket *peer = printer.last();
        const auto landed = [&] {
            return QTest::qWaitFor(
                [&] { return peer->bytesToWrite() == 0 && link.socket.bytesAvailable() == 0; },
                2000);
        };
        // 3000 bytes in total, 150 every 50 ms: past the limit, below the rate.
        for (int i = 0; i < 20; ++i) {
            peer->write(QByteArray(150, 'x'));
            QVERIFY(landed());
            QTest::qWait(50);
        }
        QCOMPARE(link.disconnected.size(), 0);
        peer->write(QByteArray(3000, 'x'));
        QTRY_COMPARE(link.disconnected.size(), 1);
        QTRY_VERIFY(!notifier.isEmpty());
        QCOMPARE(notifier.take().text.left(36),
                 QStringLiteral("Drukarka przysłała ponad 2 KiB danyc"));
    }
};

QTEST_MAIN(TstUnconfirmed)
#include "tst_unconfirmed.moc"
