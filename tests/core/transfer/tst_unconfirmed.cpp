// A Connection's answers other than the acknowledgement byte, and unasked bytes.
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
        QTest::addColumn<QString>("printer");
        QTest::addColumn<PrinterOutcome>("outcome");
        QTest::newRow("acknowledged") << QByteArrayList{} << "ack" << PrinterOutcome::Programmed;
        QTest::newRow("0x7F") << QByteArrayList{"\x7F"} << "ack" << PrinterOutcome::Programmed;
        QTest::newRow("two bytes once")
            << QByteArrayList{"\x64", "\x64\x64"} << "ack" << PrinterOutcome::Unconfirmed;
        QTest::newRow("echo") << QByteArrayList{} << "echo" << PrinterOutcome::Unconfirmed;
        // Bound to a port and connected to it: every frame read back.
        QTest::newRow("connected to itself")
            << QByteArrayList{} << "self" << PrinterOutcome::Unconfirmed;
    }
    void answers()
    {
        QFETCH(QByteArrayList, answers);
        QFETCH(QString, printer);
        QFETCH(PrinterOutcome, outcome);
        LoopbackPrinter loopback;
        loopback.answers = answers;
        loopback.echo = printer == "echo";
        ConnectionLink link(notifier);
        if (printer == "self") {
            const quint16 port = LoopbackPrinter::deadPort();
            LoopbackPrinter::freePort(port); // for this socket alone to bind
            if (!link.socket.bind(QHostAddress::LocalHost, port) || !link.connectTo(port))
                QSKIP("the kernel did not connect the port to itself");
        } else {
            QVERIFY(link.connectTo(loopback.port()));
        }
        link.start(5);
        QTRY_VERIFY(hasEnded(link.connection.outcome()));
        QCOMPARE(link.connection.outcome(), outcome);
        QCOMPARE(link.finished.size(), 1);
        if (printer != "self")
            QCOMPARE(loopback.frames.size(), 5);
        if (printer == "ack") { // another transfer on the line starts confirmed again
            link.start(2);
            QTRY_COMPARE(link.connection.outcome(), PrinterOutcome::Programmed);
        }
    }

    void portsOutsideTheRange()
    {
        for (const char *port : {"-1", "0", "70000", "80a", "", " 9100x", "+80", "99999999999"})
            QVERIFY2(!tcpPortOf(QString::fromLatin1(port)), port);
        QCOMPARE(tcpPortOf(QStringLiteral("65535")).value_or(0), 65535);
        QCOMPARE(tcpPortOf(QStringLiteral("009100")).value_or(0), 9100);
    }

    // Chatter below the rate keeps the line for good; a burst over it is cut off.
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
