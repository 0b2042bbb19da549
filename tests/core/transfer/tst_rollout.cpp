// The roll-out without a window against printers on loopback: how each printer
// ends, trying the failed ones again, the limit on printers in flight, stopping,
// running out of descriptors; a printer that never completes the handshake,
// tried again after a pause and given up within the connect time-out.
#include "core/printer/frame.h"
#include "core/transfer/connection.h"
#include "core/transfer/failedretry.h"
#include "core/transfer/rollout.h"
#include "support/descriptorlimit.h"
#include "support/fullqueueprinter.h"
#include "support/logorows.h"
#include "support/loopbackprinter.h"
#include "support/recordingnotifier.h"
#include "support/simprocess.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

Q_DECLARE_METATYPE(PrinterOutcome)

namespace {

constexpr int pauseMs = 200;
constexpr int timeoutMs = 300;
const QString loopback = QStringLiteral("127.0.0.1");

PrinterTarget target(const QString &name, quint16 port)
{
    return {name, QStringLiteral("127.0.0.1"), port};
}

struct Run
{
    explicit Run(Notifier &notifier, int rows = 3)
        : rollout(&notifier), ended(&rollout, &Rollout::printerEnded),
          finished(&rollout, &Rollout::finished)
    {
        rollout.setLogo(logoHexOf(rows), rows, buildFrameTemplate(LogoPlacement::Header));
        rollout.setTimeout(1000);
        rollout.setRetryPause(50);
    }
    bool done()
    {
        return QTest::qWaitFor([&] { return !finished.isEmpty(); }, 10000);
    }
    const PrinterResult &at(int i) const { return rollout.results().at(i); }

    Rollout rollout;
    QSignalSpy ended;
    QSignalSpy finished;
};

} // namespace

class TstRollout : public QObject
{
    Q_OBJECT

    RecordingNotifier notifier;

private slots:
    void init() { notifier = RecordingNotifier(); }
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    // One printer of each kind, all at once; each ends once, with the rows it
    // acknowledged.
    void outcomes()
    {
        LoopbackPrinter programmed, already, silent, hangs;
        already.answers = {"\x64", QByteArray(1, '\0')};
        silent.otherwise.clear();
        hangs.dropAfter = 2;
        Run run(notifier);
        run.rollout.start({target("A", programmed.port()), target("B", already.port()),
                           target("C", LoopbackPrinter::deadPort()), target("D", silent.port()),
                           target("E", hangs.port())});
        QVERIFY(run.done());
        const QList<PrinterOutcome> expected{
            PrinterOutcome::Programmed, PrinterOutcome::AlreadyProgrammed, PrinterOutcome::Refused,
            PrinterOutcome::NoAnswer, PrinterOutcome::HungUp};
        const QList<int> rowsSent{3, 1, 0, 0, 1};
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(run.at(i).outcome, expected[i]);
            QCOMPARE(run.at(i).rowsSent, rowsSent[i]);
            QCOMPARE(run.at(i).rows, 3);
            QCOMPARE(run.at(i).attempts, 1);
        }
        QVERIFY(run.at(3).seconds >= 1.0);
        QCOMPARE(run.ended.size(), 5);
        QCOMPARE(run.finished.size(), 1);
        QCOMPARE(run.rollout.inFlight(), 0);
        QCOMPARE(programmed.frames.size(), 3);
        QTRY_COMPARE(notifier.notices.size(), 2); // "programmed" and "refused"

        // The report: a header, then a line per printer as it ended.
        const QList<QByteArray> lines = formatReportCsv(run.rollout.results()).split('\n');
        QCOMPARE(lines.size(), 7);
        QCOMPARE(lines[0],
                 QByteArray("\xEF\xBB\xBFNazwa;Adres IP;Port TCP;Wynik;Wiersze;Sekundy\r"));
        const QStringList words{"zaprogramowana", "już zaprogramowana", "połączenie odrzucone",
                                "brak odpowiedzi", "rozłączona w wierszu 2"};
        for (int i = 0; i < 5; ++i) {
            const QString line = QString::fromUtf8(lines[i + 1]);
            const QString start = QStringLiteral("%1;127.0.0.1;%2;%3;%4 z 3;")
                                      .arg(run.at(i).name)
                                      .arg(run.at(i).port)
                                      .arg(words[i])
                                      .arg(rowsSent[i]);
            QVERIFY2(line.startsWith(start), qPrintable(line));
            // A decimal comma, so quoted.
            QCOMPARE(line.mid(start.size()).chopped(1),
                     '"' + QString::number(run.at(i).seconds, 'f', 1).replace('.', ',') + '"');
        }
        QCOMPARE(lines[6], QByteArray());
    }

    // A printer that refuses the first connection and accepts the next ends
    // programmed on its second attempt, from row 1; an already programmed one
    // is not tried again; a silent one is tried as often as allowed.
    void retries()
    {
        const quint16 port = LoopbackPrinter::deadPort();
        LoopbackPrinter later(-1), already, silent;
        already.otherwise = QByteArray(1, '\0');
        silent.otherwise.clear();
        Run run(notifier);
        run.rollout.setRetries(2);
        run.rollout.setRetryPause(300);
        run.rollout.setTimeout(1000);
        bool listening = false;
        notifier.whileShown = [&] {
            if (!listening)
                listening = later.listen(port);
        };
        run.rollout.start(
            {target("A", port), target("B", already.port()), target("C", silent.port())});
        QVERIFY(run.done());
        QCOMPARE(run.at(0).outcome, PrinterOutcome::Programmed);
        QCOMPARE(run.at(0).attempts, 2);
        QCOMPARE(later.frames.size(), 3);
        QCOMPARE(run.at(1).outcome, PrinterOutcome::AlreadyProgrammed);
        QCOMPARE(run.at(1).attempts, 1);
        QCOMPARE(already.connections, 1);
        QCOMPARE(run.at(2).outcome, PrinterOutcome::NoAnswer);
        QCOMPARE(run.at(2).attempts, 3);
        QCOMPARE(silent.connections, 3);
        QCOMPARE(silent.frames.size(), 3); // row 1, each time
    }

    // With two jobs, never more than two printers in flight, and the others
    // start as those end.
    void jobs()
    {
        LoopbackPrinter printer;
        Run run(notifier);
        run.rollout.setJobs(2);
        int most = 0;
        QObject::connect(&run.rollout, &Rollout::printerEnded,
                         [&] { most = std::max(most, run.rollout.inFlight() + 1); });
        QList<PrinterTarget> targets;
        for (int i = 0; i < 5; ++i)
            targets << target(QString::number(i), printer.port());
        run.rollout.start(targets);
        QCOMPARE(run.rollout.inFlight(), 2);
        QVERIFY(run.done());
        QCOMPARE(most, 2);
        QCOMPARE(printer.connections, 5);
        QCOMPARE(printer.frames.size(), 15);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(run.at(i).outcome, PrinterOutcome::Programmed);
    }

    // stop(): no new frame; an answer in flight still counts, a printer that
    // does not answer ends after a moment, one never started ends at once.
    void stopping()
    {
        LoopbackPrinter printer;
        printer.answers = {"\x64", "\x64"};
        printer.otherwise.clear();
        Run run(notifier, 5);
        run.rollout.setTimeout(0);
        run.rollout.setJobs(2);
        run.rollout.start({target("A", printer.port()), target("B", printer.port()),
                           target("C", printer.port())});
        QTRY_COMPARE(printer.frames.size(), 4);
        run.rollout.stop();
        QCOMPARE(run.at(2).outcome, PrinterOutcome::Stopped);
        QCOMPARE(run.at(2).attempts, 0);
        printer.peers.first()->write("\x64");
        QTRY_COMPARE(run.ended.size(), 2);
        QCOMPARE(run.at(0).outcome, PrinterOutcome::Stopped);
        QCOMPARE(run.at(0).rowsSent, 2);
        QVERIFY(run.done());
        QCOMPARE(run.at(1).outcome, PrinterOutcome::Stopped);
        QCOMPARE(run.at(1).rowsSent, 1);
        QCOMPARE(printer.frames.size(), 4);
    }

    // Out of descriptors, printers wait for one and are programmed; with none to
    // wait for they end with the local cause, never "refused".
    void heldBackNotRefused_data()
    {
        QTest::addColumn<int>("spare");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("a few descriptors") << 6 << "programmed";
        QTest::newRow("none") << 0 << "local_error";
    }
    void heldBackNotRefused()
    {
#ifdef __SANITIZE_ADDRESS__
        // The sanitizers check each virtual call through a pipe of their own,
        // which a process out of descriptors cannot open: they would call
        // every object invalid.
        QSKIP("Out of descriptors, the sanitizers' own checks fail.");
#endif
        QFETCH(int, spare);
        QFETCH(QString, outcome);
        QStringList arguments;
        for (int i = 0; i < 30; ++i)
            arguments << "--tcp"
                      << "127.0.0.1:0";
        SimProcess sim(arguments);
        QVERIFY(sim.started);
        QList<PrinterTarget> targets;
        for (const quint16 port : sim.ports)
            targets.append({QString(), QStringLiteral("127.0.0.1"), port});
        Rollout rollout(&notifier);
        rollout.setLogo(QByteArray(104 * 4, '0'), 4, buildFrameTemplate(LogoPlacement::Header));
        QSignalSpy finished(&rollout, &Rollout::finished);
        {
            DescriptorLimit limit(spare);
            rollout.start(targets);
            QVERIFY(finished.wait(30000));
        }
        for (const PrinterResult &r : rollout.results()) {
            QCOMPARE(outcomeKey(r.outcome), outcome);
            QCOMPARE(r.cause.isEmpty(), spare > 0);
        }
        if (spare > 0)
            QVERIFY(rollout.heldBackCount() > 0);
    }

    // "Ponów nieudane": each printer connected anew after the pause; one box
    // names the one that missed the time-out.
    void windowRetry()
    {
        FullQueuePrinter stuck;
        LoopbackPrinter good;
        QTcpSocket socketA, socketB;
        Connection a(&socketA, 2, &notifier), b(&socketB, 2, &notifier);
        const QByteArray hex = logoHexOf(2);
        for (Connection *c : {&a, &b}) {
            c->setTransferData(&hex, buildFrameTemplate(LogoPlacement::Header));
            c->setOutcome(PrinterOutcome::NotConnected);
        }
        FailedRetry retry(&notifier);
        retry.setPause(pauseMs);
        retry.setConnectTimeout(timeoutMs);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(retry.retry({{&a, {QStringLiteral("Kasa 1"), loopback, stuck.port()}},
                              {&b, {QStringLiteral("Kasa 2"), loopback, good.port()}}}),
                 (QList<int>{0, 1}));
        QTRY_COMPARE(good.connections, 1);
        QVERIFY(clock.elapsed() >= pauseMs);
        QTRY_COMPARE(b.outcome(), PrinterOutcome::Programmed);
        QTRY_COMPARE(a.outcome(), PrinterOutcome::NoAnswer);
        QVERIFY(clock.elapsed() >= pauseMs + timeoutMs);
        QVERIFY(clock.elapsed() < pauseMs + timeoutMs + 2000);
        QTRY_VERIFY(!notifier.isEmpty());
        const Notice box = notifier.take();
        QCOMPARE(box.text, QStringLiteral("Nie połączono ponownie z drukarkami: 1."));
        QCOMPARE(box.detailedText,
                 QStringLiteral("„Kasa 1” (127.0.0.1:%1): brak odpowiedzi").arg(stuck.port()));
        QVERIFY(!QTest::qWaitFor([&] { return !notifier.isEmpty(); }, 200));
    }

    // With no descriptor to be had the printer is not called refused.
    void localFault()
    {
        LoopbackPrinter good;
        QTcpSocket socket;
        Connection connection(&socket, 2, &notifier);
        connection.setOutcome(PrinterOutcome::Refused);
        FailedRetry retry(&notifier);
        retry.setPause(0);
        int limit = 0;
        {
            DescriptorLimit none(0);
            limit = none.lowestFree;
            retry.retry({{&connection, {QStringLiteral("Kasa 1"), loopback, good.port()}}});
            QVERIFY(
                QTest::qWaitFor([&] { return connection.outcome() != PrinterOutcome::Waiting; }));
        }
        QCOMPARE(connection.outcome(), PrinterOutcome::LocalError);
        QTRY_VERIFY(!notifier.isEmpty());
        QCOMPARE(notifier.take().detailedText,
                 QStringLiteral("„Kasa 1” (127.0.0.1:%1): błąd lokalny: brak wolnych "
                                "deskryptorów plików (limit %2)")
                     .arg(good.port())
                     .arg(limit));
        KELM_EXPECT_NO_NOTICE(notifier);
        // Kept for the report.
        QCOMPARE(retry.causeOf(&connection),
                 QStringLiteral("brak wolnych deskryptorów plików (limit %1)").arg(limit));
    }

    // kelm-logo's roll-out: the time-out on each attempt, the pause between.
    void rolloutRetry()
    {
        FullQueuePrinter stuck;
        Rollout rollout(&notifier);
        rollout.setLogo(logoHexOf(2), 2, buildFrameTemplate(LogoPlacement::Header));
        rollout.setTimeout(timeoutMs);
        rollout.setRetries(1);
        rollout.setRetryPause(pauseMs);
        QSignalSpy finished(&rollout, &Rollout::finished);
        QElapsedTimer clock;
        clock.start();
        rollout.start({{QStringLiteral("Kasa 1"), loopback, stuck.port()}});
        QVERIFY(finished.wait(5000));
        QCOMPARE(rollout.results().at(0).outcome, PrinterOutcome::NoAnswer);
        QCOMPARE(rollout.results().at(0).attempts, 2);
        QVERIFY(clock.elapsed() >= 2 * timeoutMs + pauseMs);
        QVERIFY(clock.elapsed() < 2 * timeoutMs + pauseMs + 2000);
    }
};

QTEST_MAIN(TstRollout)
#include "tst_rollout.moc"
