// One Connection against a printer on loopback, on an unbuffered socket as the
// main window opens them: how each transfer ends, and what a printer that sends
// what nobody asked for cannot do.
#include "support/connectionlink.h"
#include "support/logorows.h"
#include "support/loopbackprinter.h"
#include "support/recordingnotifier.h"

#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(PrinterOutcome)

namespace {

const QString title = QStringLiteral("Kelm Graphics");

} // namespace

class TstConnection : public QObject
{
    Q_OBJECT

    RecordingNotifier notifier;

private slots:
    void init() { notifier = RecordingNotifier(); }
    void cleanup() { KELM_EXPECT_NO_NOTICE(notifier); }

    void texts()
    {
        QCOMPARE(outcomeText(PrinterOutcome::Sending, 0, 96), QStringLiteral("wiersz 1 z 96"));
        QCOMPARE(outcomeText(PrinterOutcome::Sending, 95, 96), QStringLiteral("wiersz 96 z 96"));
        QCOMPARE(outcomeText(PrinterOutcome::HungUp, 2, 96),
                 QStringLiteral("rozłączona w wierszu 3"));
        QCOMPARE(outcomeKey(PrinterOutcome::AlreadyProgrammed),
                 QStringLiteral("already_programmed"));
        QVERIFY(!isFailure(PrinterOutcome::AlreadyProgrammed) &&
                isFailure(PrinterOutcome::Stopped));
        QVERIFY(hasEnded(PrinterOutcome::NotTakingPart) && !hasEnded(PrinterOutcome::Sending));
    }

    // Every way a transfer of 5 rows ends, with the rows acknowledged by then.
    // The outcome is announced when it changes, not for every row.
    void outcomes_data()
    {
        QTest::addColumn<QByteArrayList>("answers"); // then silence
        QTest::addColumn<int>("dropAfter");
        QTest::addColumn<int>("timeout"); // ms; negative: flags silence, then "przerwij"
        QTest::addColumn<PrinterOutcome>("outcome");
        QTest::addColumn<int>("rowsSent");
        QTest::addColumn<QString>("box");
        const QByteArray ack("\x64");
        const QByteArrayList all{ack, ack, ack, ack, ack};
        QTest::newRow("programmed") << all << -1 << 0 << PrinterOutcome::Programmed << 5 << "";
        QTest::newRow("already programmed")
            << QByteArrayList{ack, QByteArray(1, '\0')} << -1 << 0
            << PrinterOutcome::AlreadyProgrammed << 1 << "Grafika już zaprogramowana";
        QTest::newRow("hung up at row 3") << all << 3 << 0 << PrinterOutcome::HungUp << 2 << "";
        QTest::newRow("no answer")
            << QByteArrayList{ack} << -1 << 500 << PrinterOutcome::NoAnswer << 1 << "";
        QTest::newRow("silent, then stopped")
            << QByteArrayList{ack, ack} << -1 << -500 << PrinterOutcome::NoAnswer << 2 << "";
    }
    void outcomes()
    {
        QFETCH(QByteArrayList, answers);
        QFETCH(int, dropAfter);
        QFETCH(int, timeout);
        QFETCH(PrinterOutcome, outcome);
        QFETCH(int, rowsSent);
        QFETCH(QString, box);
        LoopbackPrinter printer;
        printer.answers = answers;
        printer.otherwise.clear();
        printer.dropAfter = dropAfter;
        ConnectionLink link(notifier);
        QVERIFY(link.connectTo(printer.port()));
        link.connection.setAnswerTimeout(std::abs(timeout), timeout > 0);
        QCOMPARE(link.connection.outcome(), PrinterOutcome::Waiting);
        link.start(5);
        QCOMPARE(link.connection.outcome(), PrinterOutcome::Sending);
        if (timeout < 0) {
            QTRY_VERIFY(link.connection.silent());
            QCOMPARE(link.connection.outcome(), PrinterOutcome::Sending);
            link.connection.cancelSend();
        }
        QTRY_VERIFY(hasEnded(link.connection.outcome()));
        QCOMPARE(link.connection.outcome(), outcome);
        QCOMPARE(link.connection.rowsSent(), rowsSent);
        QVERIFY(!link.connection.silent());
        QCOMPARE(link.changed.size(), timeout < 0 ? 3 : 2); // sending, (silent,) ended
        const qint64 elapsed = link.connection.elapsedMs();
        QTest::qWait(20);
        QCOMPARE(link.connection.elapsedMs(), elapsed);
        // Seen by everyone watching the socket, unbuffered as it is, also when
        // the printer hangs up once done.
        if (outcome == PrinterOutcome::Programmed)
            printer.last()->disconnectFromHost();
        if (outcome == PrinterOutcome::HungUp || outcome == PrinterOutcome::Programmed) {
            QTRY_COMPARE(link.disconnected.size(), 1);
            QCOMPARE(link.socket.state(), QAbstractSocket::UnconnectedState);
            QCOMPARE(link.connection.outcome(), outcome);
        }
        QCOMPARE(link.finished.size(), int(outcome == PrinterOutcome::Programmed ||
                                           outcome == PrinterOutcome::AlreadyProgrammed));
        if (!box.isEmpty()) {
            QTRY_VERIFY(!notifier.isEmpty());
            KELM_EXPECT_NOTICE(notifier, Notice::Critical, title, box, Notice::Close,
                               link.detail());
        }
    }

    // While the "programmed" box is open the printer sends a stray byte, 3000
    // more and a "programmed" byte now and then: all are read and dropped, no
    // second box comes, and the printer's next answers are read as before. A
    // printer that sends far more than any answer is cut off, and told of.
    void strayBytes()
    {
        LoopbackPrinter printer;
        printer.answers = {QByteArray(1, '\0')};
        ConnectionLink link(notifier);
        QVERIFY(link.connectTo(printer.port()));
        QTRY_VERIFY(printer.last());
        QTcpSocket *peer = printer.last();
        const auto landed = [&] {
            return QTest::qWaitFor(
                [&] { return peer->bytesToWrite() == 0 && link.socket.bytesAvailable() == 0; },
                2000);
        };
        bool allRead = true;
        notifier.whileShown = [&] {
            for (const QByteArray &stray : {QByteArray("\x01"), QByteArray(3000, '\x64'),
                                            QByteArray(1, '\0'), QByteArray(1, '\0')}) {
                peer->write(stray);
                allRead = landed() && allRead;
            }
        };
        link.start(3);
        QTRY_COMPARE(notifier.notices.size(), 1);
        QVERIFY(allRead);
        KELM_EXPECT_NOTICE(notifier, Notice::Critical, title,
                           QStringLiteral("Grafika już zaprogramowana"), Notice::Close,
                           link.detail());
        notifier.whileShown = nullptr;
        link.start(3);
        QTRY_COMPARE(link.connection.outcome(), PrinterOutcome::Programmed);
        QCOMPARE(printer.frames.size(), 4);

        peer->write(QByteArray(Connection::floodLimit + 4096, 'x'));
        QTRY_COMPARE(link.disconnected.size(), 1);
        QTRY_VERIFY(!notifier.isEmpty());
        KELM_EXPECT_NOTICE(notifier, Notice::Critical, title,
                           QStringLiteral("Drukarka przysłała ponad 64 KiB danych, o które "
                                          "program nie prosił; połączenie z nią zostało zerwane."),
                           Notice::Close, link.detail());
    }

    void refused()
    {
        const quint16 port = LoopbackPrinter::deadPort();
        ConnectionLink link(notifier);
        link.startConnecting(port);
        QTRY_COMPARE(link.connection.outcome(), PrinterOutcome::Refused);
        QTRY_VERIFY(!notifier.isEmpty());
        QCOMPARE(notifier.take().text.left(22), QStringLiteral("Połączenie zostało odr"));
        link.connection.setOutcome(PrinterOutcome::NotConnected);
        QCOMPARE(link.changed.size(), 2);
    }
};

QTEST_MAIN(TstConnection)
#include "tst_connection.moc"
