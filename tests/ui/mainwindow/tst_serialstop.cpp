// The main window's serial transfer against a printer on a pseudo-terminal: one
// that falls silent is said to be so and can be stopped; one whose answers are
// not the acknowledgement ends unconfirmed.
#include "support/mainwindowtester.h"
#include "support/ptyprinter.h"
#include "support/recordingnotifier.h"
#include "support/testfolder.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

struct Rig
{
    explicit Rig(RecordingNotifier &notifier) : window(&notifier) {}

    // A picture of `rows` rows loaded, the port open on the printer, "Wyślij".
    bool send(int rows)
    {
        QImage picture(416, 96, QImage::Format_Mono);
        picture.fill(1);
        const QString path = folder.filePath(QStringLiteral("logo.png"));
        if (!printer.isValid() || !picture.save(path) || !t.loadFile(path))
            return false;
        LinkSettings &s = t.linkSettings();
        s.linkMode = 1;
        s.comPortName = printer.slavePath();
        s.comPortChosen = true;
        t.openLink();
        if (!s.comPortOpen)
            return false;
        t.sliderY()->setValue(rows == 96 ? 100 : (rows * 100 + 95) / 96);
        t.send();
        return t.lineCount() == rows;
    }
    bool ended() { return t.currentLine() == t.lineCount() + 1; }

    TestFolder folder;
    PtyPrinter printer;
    MainWindow window;
    MainWindowTester t{window};
    QProgressBar *bar = t.child<QProgressBar>("progressBar");
};

} // namespace

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
        Rig rig(notifier);
        rig.t.answerTimeoutMs() = 300;
        for (int i = 0; i < 10; ++i)
            rig.printer.answers.append(PrinterAnswer::ack());
        rig.printer.otherwise = PrinterAnswer::silent();
        QVERIFY(rig.send(20));
        QTRY_VERIFY(rig.bar->text().contains(QStringLiteral("brak odpowiedzi od")));
        QCOMPARE(rig.printer.frames.size(), 11);
        QVERIFY(!rig.ended());

        QElapsedTimer stopping;
        stopping.start();
        rig.t.child<QPushButton>("cancelButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(rig.ended(), 2000);
        QVERIFY(stopping.elapsed() < 2000);
        QCOMPARE(rig.bar->text(), QStringLiteral("przerwano"));
        QCOMPARE(rig.bar->value(), 0);

        rig.printer.write("\x64");
        QVERIFY(!QTest::qWaitFor([&] { return rig.printer.frames.size() > 11; }, 200));
        QVERIFY(rig.ended());
    }

    // Every frame goes out whatever the answer; only acknowledgements throughout
    // leave the bar at its plain percentage.
    void answers_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("words");
        QTest::newRow("acknowledged") << QByteArray("\x64") << QStringLiteral("100%");
        QTest::newRow("two bytes") << QByteArray("\x64\x64")
                                   << QStringLiteral("niepotwierdzona: odpowiedzi inne niż "
                                                     "potwierdzenie");
    }
    void answers()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, words);
        Rig rig(notifier);
        rig.printer.otherwise = {answer, {}};
        QVERIFY(rig.send(5));
        QTRY_VERIFY(rig.ended());
        QCOMPARE(rig.printer.frames.size(), 5);
        QTRY_COMPARE(rig.bar->text(), words);
    }
};

QTEST_MAIN(TstSerialStop)
#include "tst_serialstop.moc"
