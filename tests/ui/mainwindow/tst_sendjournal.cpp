// The window's sends and the journal: each printer's end is written down, and a
// send past a printer's daily write budget asks once first.
#include "support/loopbackprinter.h"
#include "support/ptyprinter.h"
#include "support/recordingnotifier.h"
#include "support/windowsetup.h"

#include "core/transfer/journal.h"
#include "ui/progress/tcpprogressdialog.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QTimer>

namespace {

// A blank logo of 96 rows loaded into the window, ten rows down.
bool loadBlankLogo(MainWindowTester &t, const TestFolder &folder)
{
    if (!loadWhiteLogo(t, folder))
        return false;
    t.sliderY()->setValue(10);
    return true;
}

} // namespace

class TstSendJournal : public QObject
{
    Q_OBJECT

private slots:
    void budgetAskedAndEndsJournaled()
    {
        TestFolder folder;
        RecordingNotifier notifier;
        LoopbackPrinter printers[2];
        const QString path = Journal::defaultPath();
        QVERIFY(path.startsWith(folder.path()));
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        PrinterResult written;
        written.address = QStringLiteral("127.0.0.1");
        written.port = printers[0].port();
        written.outcome = PrinterOutcome::Programmed;
        written.rowsSent = 96;
        for (int i = 0; i < dailyWriteBudget; ++i)
            file.write(Journal::formatLine(QDateTime::currentSecsSinceEpoch() - 3600 + i, written,
                                           "0123456789abcdef"));
        file.close();

        MainWindow window(&notifier);
        MainWindowTester t(window);
        QVERIFY(loadBlankLogo(t, folder));
        LinkSettings &s = t.linkSettings();
        for (LoopbackPrinter &p : printers)
            addTcpEntry(s, QStringLiteral("Kasa %1").arg(s.printerNames.size() + 1),
                        QString::number(p.port()));
        s.linkMode = 2;
        t.openLink();
        QTRY_VERIFY(printers[0].connections == 1 && printers[1].connections == 1);
        QTRY_VERIFY(s.tcpSockets.at(0)->state() == QAbstractSocket::ConnectedState &&
                    s.tcpSockets.at(1)->state() == QAbstractSocket::ConnectedState);

        // "Anuluj": nothing goes out.
        notifier.answers = {1};
        t.send();
        KELM_EXPECT_NOTICE(
            notifier, Notice::Question, QStringLiteral("Kelm Graphics"),
            QStringLiteral("Drukarki, do których w ciągu ostatnich 24 godzin zapisano logo już "
                           "10 razy: 1. Ich pamięć jest przeznaczona do rzadkich zapisów."),
            Notice::Close, QString(), {QStringLiteral("Wyślij mimo to"), QStringLiteral("Anuluj")});
        QVERIFY(printers[0].frames.isEmpty() && printers[1].frames.isEmpty());

        // "Wyślij mimo to": both programmed, both ends journaled.
        notifier.answers = {0};
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<TcpProgressDialog *>(QApplication::activeModalWidget());
            if (dialog && dialog->closeButton->isEnabled())
                dialog->close();
        });
        closer.start(10);
        t.send();
        QVERIFY(notifier.take().kind == Notice::Question);
        KELM_EXPECT_NO_NOTICE(notifier);
        const int rows = t.lineCount();
        QCOMPARE(printers[0].frames.size(), rows);
        QCOMPARE(printers[1].frames.size(), rows);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), dailyWriteBudget + 2);
        for (int i = 0; i < 2; ++i) {
            const QList<QByteArray> fields = lines.at(dailyWriteBudget + i).split(';');
            QCOMPARE(fields.value(3).toInt(), int(printers[i].port()));
            QCOMPARE(fields.value(5), QByteArray("programmed"));
            QCOMPARE(fields.value(6).toInt(), rows);
            QCOMPARE(fields.value(4), logoFingerprint(t.logoHex(), rows, t.frameTemplate()));
        }
    }

    // Over the serial link: programmed, then "already programmed".
    void serialEndsJournaled()
    {
        TestFolder folder;
        RecordingNotifier notifier;
        PtyPrinter printer;
        QVERIFY(printer.isValid());
        MainWindow window(&notifier);
        MainWindowTester t(window);
        QVERIFY(loadBlankLogo(t, folder));
        LinkSettings &s = t.linkSettings();
        s.linkMode = 1;
        s.comPortName = printer.slavePath();
        s.comPortChosen = true;
        t.openLink();
        QVERIFY(s.comPortOpen);

        t.send();
        const int rows = t.lineCount();
        QTRY_COMPARE(t.currentLine(), rows + 1);
        printer.answers = {PrinterAnswer::ack(), PrinterAnswer::programmed()};
        t.send();
        QTRY_VERIFY(!notifier.isEmpty());
        KELM_EXPECT_NOTICE(notifier, Notice::Critical, QStringLiteral("Kelm Graphics"),
                           QStringLiteral("Grafika już zaprogramowana"), Notice::Close);

        QFile file(Journal::defaultPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        const QByteArray where = QFile::encodeName(printer.slavePath()) + ";0;";
        QVERIFY(lines.at(0).contains(where + logoFingerprint(t.logoHex(), rows, t.frameTemplate()) +
                                     ";programmed;" + QByteArray::number(rows)));
        QVERIFY(lines.at(1).endsWith(";already_programmed;1"));
    }
};

QTEST_MAIN(TstSendJournal)
#include "tst_sendjournal.moc"
