// What the progress dialog's rows, summary and report say of printers that echo,
// that fall silent and are stopped, and of entries whose port names no port;
// the report on a full disk.
#include "support/fulldisk.h"
#include "support/loopbackprinter.h"
#include "support/recordingnotifier.h"
#include "support/windowsetup.h"
#include "ui/progress/tcpprogressdialog.h"
#include "ui/settings/connectdialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSerialPort>
#include <QTest>

class TstTcpOutcomes : public QObject
{
    Q_OBJECT

    RecordingNotifier notifier;

private slots:
    void init() { notifier = RecordingNotifier(); }
    void cleanup() { KELM_EXPECT_NO_NOTICE(notifier); }

    void outcomes()
    {
        TestFolder folder;
        MainWindow window(&notifier);
        MainWindowTester t(window);
        QVERIFY(loadWhiteLogo(t, folder));
        t.answerTimeoutMs() = 300;

        // An echo, a silent printer, two ports naming none (70000 would be 4464
        // masked to 16 bits), a printer that acknowledges.
        LoopbackPrinter echo, silent, good, wrapped(-1);
        const bool wrappedListens = wrapped.listen(70000 & 0xFFFF);
        echo.echo = true;
        silent.otherwise.clear();
        LinkSettings &s = t.linkSettings();
        for (const QString &port :
             {QString::number(echo.port()), QString::number(silent.port()), QStringLiteral("-1"),
              QStringLiteral("70000"), QString::number(good.port())})
            addTcpEntry(s, QStringLiteral("Kasa"), port);
        s.linkMode = 2;
        t.openLink();
        for (LoopbackPrinter *printer : {&echo, &silent, &good})
            QTRY_COMPARE(printer->connections, 1);

        const QString report = folder.filePath(QStringLiteral("raport.csv"));
        bool shown = false;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<TcpProgressDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            shown = true;
            const auto words = [&](int row) { return dialog->stateLabels[row]->text(); };
            QTRY_COMPARE(words(1), QStringLiteral("brak odpowiedzi od 10 s"));
            QTRY_COMPARE(words(0), QStringLiteral("niepotwierdzona"));
            QTRY_COMPARE(words(4), QStringLiteral("zaprogramowana"));
            for (int row : {2, 3})
                QCOMPARE(words(row), QStringLiteral("błędny port"));
            dialog->cancelAllButton->click();
            QTRY_COMPARE(words(1), QStringLiteral("brak odpowiedzi"));
            QTRY_COMPARE(dialog->summary(),
                         QStringLiteral("Zaprogramowano 1 z 3, już zaprogramowane: 0, błędy: 2, "
                                        "błędny port: 2"));
            QVERIFY(dialog->saveReport(report));

            echo.echo = false;
            silent.otherwise = "\x64";
            dialog->retryButton->click();
            QTRY_VERIFY_WITH_TIMEOUT(dialog->closeButton->isEnabled(), 20000);
            QCOMPARE(dialog->summary(),
                     QStringLiteral("Zaprogramowano 3 z 3, już zaprogramowane: 0, błędy: 0, "
                                    "błędny port: 2"));
            dialog->close();
        });
        t.sliderY()->setValue(5);
        t.send();
        QVERIFY(shown);

        QFile file(report);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (const char *outcome : {"niepotwierdzona", "brak odpowiedzi", "błędny port"})
            QVERIFY2(text.contains(QString::fromUtf8(outcome)), qPrintable(text));
        if (wrappedListens)
            QCOMPARE(wrapped.connections, 0);
    }

    // The settings window's status column gives the reason such an entry stays
    // unconnected.
    void badPortInTable()
    {
        TestFolder folder;
        QSerialPort serial;
        LinkSettings s;
        s.serialPort = &serial;
        for (const char *port : {"-1", "9100"})
            addTcpEntry(s, QStringLiteral("Kasa"), QString::fromLatin1(port));
        {
            const ComPortFinder ports = [] {
                return QList<ComPort>{{QStringLiteral("ttyS0"), QStringLiteral("/dev/ttyS0")}};
            };
            ConnectDialog dialog(&s, &notifier, ports, nullptr);
            const QAbstractItemModel *model = dialog.findChild<QAbstractItemView *>()->model();
            const auto status = [&](int row) { return model->index(row, 3).data().toString(); };
            QCOMPARE(status(0), QStringLiteral("Błędny port"));
            QCOMPARE(status(1), QStringLiteral("Niepodłączona"));
        }
        qDeleteAll(s.tcpSockets);
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

QTEST_MAIN(TstTcpOutcomes)
#include "tst_tcpoutcomes.moc"
