// A printer that never completes the handshake, tried again after a pause and
// given up within the connect time-out, by the window's retry and the roll-out.
#include "core/printer/frame.h"
#include "core/transfer/connection.h"
#include "core/transfer/failedretry.h"
#include "core/transfer/rollout.h"
#include "support/descriptorlimit.h"
#include "support/fullqueueprinter.h"
#include "support/logorows.h"
#include "support/loopbackprinter.h"
#include "support/recordingnotifier.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

namespace {

constexpr int pauseMs = 200;
constexpr int timeoutMs = 300;
const QString loopback = QStringLiteral("127.0.0.1");

} // namespace

class TstConnectTimeout : public QObject
{
    Q_OBJECT

    RecordingNotifier notifier;

private slots:
    void init() { notifier = RecordingNotifier(); }
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

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

QTEST_MAIN(TstConnectTimeout)
#include "tst_connecttimeout.moc"
