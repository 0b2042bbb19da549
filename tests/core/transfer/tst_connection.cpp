// One Connection against a printer on loopback, on an unbuffered socket as the
// main window opens them: how each transfer ends, and what a printer that sends
// what nobody asked for cannot do, answers other than the acknowledgement byte;
// the outcomes counted for the summary.
#include "core/printer/frame.h"
#include "core/transfer/connection.h"
#include "core/transfer/outcomecounts.h"
#include "core/transfer/printeroutcome.h"
#include "support/connectionlink.h"
#include "support/logorows.h"
#include "support/loopbackprinter.h"
#include "support/notices.h"
#include "support/recordingnotifier.h"

#include <QSignalSpy>
#include <QTest>

using O = PrinterOutcome;
Q_DECLARE_METATYPE(PrinterOutcome)
Q_DECLARE_METATYPE(QList<PrinterOutcome>)

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
            KELM_EXPECT_BOX(notifier, Critical, box, Close, link.detail());
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
        bool allRead = true;
        notifier.whileShown = [&] {
            for (const QByteArray &stray : {QByteArray("\x01"), QByteArray(3000, '\x64'),
                                            QByteArray(1, '\0'), QByteArray(1, '\0')}) {
                peer->write(stray);
                allRead = link.landed(peer) && allRead;
            }
        };
        link.start(3);
        QTRY_COMPARE(notifier.notices.size(), 1);
        QVERIFY(allRead);
        KELM_EXPECT_BOX(notifier, Critical, QStringLiteral("Grafika już zaprogramowana"), Close,
                        link.detail());
        notifier.whileShown = nullptr;
        link.start(3);
        QTRY_COMPARE(link.connection.outcome(), PrinterOutcome::Programmed);
        QCOMPARE(printer.frames.size(), 4);

        peer->write(QByteArray(Connection::floodLimit + 4096, 'x'));
        QTRY_COMPARE(link.disconnected.size(), 1);
        QTRY_VERIFY(!notifier.isEmpty());
        KELM_EXPECT_BOX(notifier, Critical,
                        QStringLiteral("Drukarka przysłała ponad 64 KiB danych, o które "
                                       "program nie prosił; połączenie z nią zostało zerwane."),
                        Close, link.detail());
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
        // 3000 bytes in total, 150 every 50 ms: past the limit, below the rate.
        for (int i = 0; i < 20; ++i) {
            peer->write(QByteArray(150, 'x'));
            QVERIFY(link.landed(peer));
            QTest::qWait(50);
        }
        QCOMPARE(link.disconnected.size(), 0);
        peer->write(QByteArray(3000, 'x'));
        QTRY_COMPARE(link.disconnected.size(), 1);
        QTRY_VERIFY(!notifier.isEmpty());
        QCOMPARE(notifier.take().text.left(36),
                 QStringLiteral("Drukarka przysłała ponad 2 KiB danyc"));
    }

    // The summary sentence and its parts, from the outcomes counted.
    void summary_data()
    {
        QTest::addColumn<QList<PrinterOutcome>>("outcomes");
        QTest::addColumn<QString>("summary");
        QTest::newRow("ended") << QList<O>{O::Programmed, O::Programmed, O::AlreadyProgrammed,
                                           O::Refused, O::Stopped}
                               << "Zaprogramowano 2 z 5, już zaprogramowane: 1, błędy: 2";
        // Unticked printers are not among those "z" counts.
        QTest::newRow("every part")
            << QList<O>{O::Programmed, O::NotConnected, O::NotTakingPart,
                        O::Sending,    O::Waiting,      O::NoAnswer}
            << "Zaprogramowano 1 z 5, już zaprogramowane: 0, błędy: 1, niepodłączone: 1, "
               "nie biorą udziału: 1, w toku: 2";
    }
    void summary()
    {
        QFETCH(QList<PrinterOutcome>, outcomes);
        QFETCH(QString, summary);
        OutcomeCounts counts;
        for (const O o : outcomes)
            counts.add(o);
        QCOMPARE(counts.summary(), summary);
        QString joined;
        for (const OutcomeCounts::Part &part : counts.summaryParts()) {
            joined += part.words + QString::number(part.count);
            QCOMPARE(part.count, part.filter == OutcomeFilter::All
                                     ? counts.total() - counts.counted(OutcomeFilter::NotTakingPart)
                                     : counts.counted(part.filter));
        }
        QCOMPARE(joined, summary);
    }

    // Counts kept through changes agree with counting afresh, and each filter
    // counts the outcomes it matches.
    void changes()
    {
        OutcomeCounts counts;
        QList<O> now{O::NotConnected, O::NotConnected, O::Waiting};
        for (const O o : now)
            counts.add(o);
        const QList<QPair<int, O>> steps{
            {0, O::Sending}, {2, O::Sending},           {0, O::Programmed}, {2, O::HungUp},
            {2, O::Sending}, {2, O::AlreadyProgrammed}, {1, O::Stopped}};
        for (const auto &step : steps) {
            counts.change(now[step.first], step.second);
            now[step.first] = step.second;
        }
        QVERIFY(counts.allEnded());
        for (const OutcomeFilter f :
             {OutcomeFilter::Programmed, OutcomeFilter::AlreadyProgrammed, OutcomeFilter::Failed,
              OutcomeFilter::Running, OutcomeFilter::NotTakingPart, OutcomeFilter::NotConnected}) {
            int matching = 0;
            for (const O o : now)
                matching += OutcomeCounts::matches(f, o) ? 1 : 0;
            QCOMPARE(counts.counted(f), matching);
        }
        QCOMPARE(counts.summary(),
                 QStringLiteral("Zaprogramowano 1 z 3, już zaprogramowane: 1, błędy: 1"));
    }
};

QTEST_MAIN(TstConnection)
#include "tst_connection.moc"
