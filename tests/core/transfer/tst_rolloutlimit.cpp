// Out of descriptors, the roll-out's printers wait for one and are programmed;
// with none to wait for they end with the local cause, never "refused".
#include "support/descriptorlimit.h"
#include "support/recordingnotifier.h"
#include "support/simprocess.h"

#include "core/printer/frame.h"
#include "core/transfer/rollout.h"

#include <QSignalSpy>

class TstRolloutLimit : public QObject
{
    Q_OBJECT

private slots:
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
        RecordingNotifier notifier;
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
        notifier.notices.clear();
    }
};

QTEST_GUILESS_MAIN(TstRolloutLimit)
#include "tst_rolloutlimit.moc"
