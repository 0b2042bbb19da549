// What the progress dialog's rows, summary and report say of printers that echo,
// that fall silent and are stopped, and of entries whose port names no port; the
// report on a full disk. Printers that never complete the handshake: told in one
// box, shown "niepodłączona", tried again by "Ponów nieudane".
#include "core/transfer/failedretry.h"
#include "support/descriptorlimit.h"
#include "support/fulldisk.h"
#include "support/fullqueueprinter.h"
#include "support/loopbackprinter.h"
#include "support/windowfixture.h"
#include "support/windowsetup.h"
#include "ui/progress/tcpprogressdialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TstRetry : public QObject, WindowFixture
{
    Q_OBJECT

    // "Wyślij" with 8 rows; `during` runs inside the progress dialog, then closes it.
    bool send(const std::function<void(TcpProgressDialog &)> &during)
    {
        t->sliderY()->setValue((8 * 100 + 95) / 96);
        return sendInDialog(*t, during);
    }

private slots:
    void init() { openFixture(); }
    void cleanup() { closeFixture(); }

    void handshakeNeverCompletes()
    {
        QVERIFY(loadWhiteLogo(*t, *folder));
        FullQueuePrinter stuck1, stuck3;
        LoopbackPrinter good;
        t->connectTimeoutMs() = 300;
        int n = 0;
        for (const quint16 port : {stuck1.port(), good.port(), stuck3.port()})
            addTcpEntry(t->linkSettings(), QStringLiteral("Kasa %1").arg(++n),
                        QString::number(port));
        t->linkSettings().linkMode = 2;
        t->openLink();

        // One box for every printer that missed the time-out, none of its own.
        QTRY_VERIFY(!notifier.isEmpty());
        const Notice box = notifier.take();
        QCOMPARE(box.text, QStringLiteral("Nie połączono w ciągu 0.3 s z 2 drukarkami."));
        QCOMPARE(box.detailedText,
                 QStringLiteral("„Kasa 1” (127.0.0.1:%1)\n„Kasa 3” (127.0.0.1:%2)")
                     .arg(stuck1.port())
                     .arg(stuck3.port()));
        QVERIFY(!QTest::qWaitFor([&] { return !notifier.isEmpty(); }, 300));

        // Kasa 1 listens now; Kasa 3 still never answers the handshake.
        const quint16 port1 = stuck1.port();
        stuck1.close();
        LoopbackPrinter back(-1);
        QVERIFY(back.listen(port1));
        QVERIFY(send([&](TcpProgressDialog &dialog) {
            const auto words = [&](int row) { return dialog.stateLabels[row]->text(); };
            QTRY_VERIFY(dialog.closeButton->isEnabled());
            QCOMPARE(words(0), QStringLiteral("niepodłączona"));
            QCOMPARE(dialog.summary(), QStringLiteral("Zaprogramowano 1 z 3, już zaprogramowane: "
                                                      "0, błędy: 0, niepodłączone: 2"));
            dialog.retrier->setPause(50);
            dialog.retryButton->click();
            QTRY_COMPARE(words(2), QStringLiteral("oczekuje"));
            QTRY_VERIFY(dialog.closeButton->isEnabled());
            QCOMPARE(words(0), QStringLiteral("zaprogramowana"));
            QCOMPARE(words(2), QStringLiteral("brak odpowiedzi"));
            QCOMPARE(dialog.summary(), QStringLiteral("Zaprogramowano 2 z 3, już zaprogramowane: "
                                                      "0, błędy: 1"));
            QCOMPARE(back.frames.size(), 8);
            QCOMPARE(good.frames.size(), 8); // not sent again
            QTRY_VERIFY(!notifier.isEmpty());
            QCOMPARE(notifier.take().text,
                     QStringLiteral("Nie połączono ponownie z drukarkami: 1."));
            dialog.retryButton->click(); // then closed while Kasa 3 is connected anew
        }));
        QCOMPARE(t->connections().at(2)->outcome(), PrinterOutcome::Stopped);
        QVERIFY(!QTest::qWaitFor([&] { return !notifier.isEmpty(); }, 400));
    }

    // A retry this computer cannot open a socket for: the report says why.
    void reportGivesLocalCause()
    {
        QVERIFY(loadWhiteLogo(*t, *folder));
        FullQueuePrinter stuck;
        t->connectTimeoutMs() = 300;
        addTcpEntry(t->linkSettings(), QStringLiteral("Kasa 1"), QString::number(stuck.port()));
        t->linkSettings().linkMode = 2;
        t->openLink();
        QTRY_VERIFY(!notifier.isEmpty());
        notifier.take(); // not connected within the time-out
        QVERIFY(send([&](TcpProgressDialog &dialog) {
            QTRY_VERIFY(dialog.retryButton->isEnabled());
            dialog.retrier->setPause(0);
            int lowestFree = 0;
            {
                DescriptorLimit none(0);
                lowestFree = none.lowestFree;
                dialog.retryButton->click();
                QVERIFY(QTest::qWaitFor(
                    [&] { return dialog.results().at(0).outcome == PrinterOutcome::LocalError; }));
            }
            // The journal could not be opened either, and says so first.
            QTRY_VERIFY(!notifier.isEmpty());
            QVERIFY(notifier.take().text.startsWith(QStringLiteral("nie można dopisać")));
            QTRY_VERIFY(!notifier.isEmpty());
            QCOMPARE(notifier.take().text,
                     QStringLiteral("Nie połączono ponownie z drukarkami: 1."));
            const PrinterResult result = dialog.results().at(0);
            QCOMPARE(result.outcome, PrinterOutcome::LocalError);
            QCOMPARE(result.cause,
                     QStringLiteral("brak wolnych deskryptorów plików (limit %1)").arg(lowestFree));
        }));
    }

    void outcomes()
    {
        QVERIFY(loadWhiteLogo(*t, *folder));
        t->answerTimeoutMs() = 300;

        // An echo, a silent printer, two ports naming none (70000 would be 4464
        // masked to 16 bits), a printer that acknowledges.
        LoopbackPrinter echo, silent, good, wrapped(-1);
        const bool wrappedListens = wrapped.listen(70000 & 0xFFFF);
        echo.echo = true;
        silent.otherwise.clear();
        LinkSettings &s = t->linkSettings();
        for (const QString &port :
             {QString::number(echo.port()), QString::number(silent.port()), QStringLiteral("-1"),
              QStringLiteral("70000"), QString::number(good.port())})
            addTcpEntry(s, QStringLiteral("Kasa"), port);
        s.linkMode = 2;
        t->openLink();
        for (LoopbackPrinter *printer : {&echo, &silent, &good})
            QTRY_COMPARE(printer->connections, 1);

        const QString report = folder->filePath(QStringLiteral("raport.csv"));
        t->sliderY()->setValue(5);
        QVERIFY(sendInDialog(*t, [&](TcpProgressDialog &dialog) {
            const auto words = [&](int row) { return dialog.stateLabels[row]->text(); };
            QTRY_COMPARE(words(1), QStringLiteral("brak odpowiedzi od 10 s"));
            QTRY_COMPARE(words(0), QStringLiteral("niepotwierdzona"));
            QTRY_COMPARE(words(4), QStringLiteral("zaprogramowana"));
            for (int row : {2, 3})
                QCOMPARE(words(row), QStringLiteral("błędny port"));
            dialog.cancelAllButton->click();
            QTRY_COMPARE(words(1), QStringLiteral("brak odpowiedzi"));
            QTRY_COMPARE(dialog.summary(),
                         QStringLiteral("Zaprogramowano 1 z 3, już zaprogramowane: 0, błędy: 2, "
                                        "błędny port: 2"));
            QVERIFY(dialog.saveReport(report));

            echo.echo = false;
            silent.otherwise = "\x64";
            dialog.retryButton->click();
            QTRY_VERIFY_WITH_TIMEOUT(dialog.closeButton->isEnabled(), 20000);
            QCOMPARE(dialog.summary(),
                     QStringLiteral("Zaprogramowano 3 z 3, już zaprogramowane: 0, błędy: 0, "
                                    "błędny port: 2"));
        }));

        QFile file(report);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (const char *outcome : {"niepotwierdzona", "brak odpowiedzi", "błędny port"})
            QVERIFY2(text.contains(QString::fromUtf8(outcome)), qPrintable(text));
        if (wrappedListens)
            QCOMPARE(wrapped.connections, 0);
    }

    // "Zapisz raport..." on a full disk: the old report stays and a box says so.
    void fullDisk()
    {
        FullDisk disk(QStringLiteral("raport.csv"), "old report\n");
        if (!disk.ready)
            QSKIP(qPrintable(disk.why));
        LinkSettings settings;
        addTcpEntry(settings, QString(5000, QLatin1Char('K')), QStringLiteral("9100"));
        TcpProgressDialog dialog(&settings);
        dialog.setNotifier(&notifier);

        const QString path = disk.filePath(QStringLiteral("raport.csv"));
        QVERIFY(!dialog.saveReport(path));
        KELM_EXPECT_NOTICE(notifier, Notice::Critical, QStringLiteral("Kelm Graphics"),
                           QStringLiteral("Nie zapisano raportu „%1”: brak miejsca na dysku.")
                               .arg(QDir::toNativeSeparators(path)),
                           Notice::Close);
        QCOMPARE(disk.read(QStringLiteral("raport.csv")), QByteArray("old report\n"));
        qDeleteAll(settings.tcpSockets);
    }
};

QTEST_MAIN(TstRetry)
#include "tst_retry.moc"
