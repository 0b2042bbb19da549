// The main window's serial transfer against a printer on a pseudo-terminal: one
// that falls silent is said to be so and can be stopped; one whose answers are
// not the acknowledgement ends unconfirmed.
#include "support/serialrig.h"

#include <QElapsedTimer>
#include <QTest>

class TstSerialStop : public QObject
{
    Q_OBJECT

    RecordingNotifier notifier;

private slots:
    void init() { notifier = RecordingNotifier(); }
    void cleanup() { KELM_EXPECT_NO_NOTICE(notifier); }

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

QTEST_MAIN(TstSerialStop)
#include "tst_serialstop.moc"
