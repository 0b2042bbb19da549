// "Zapisz raport..." on a full disk: the old report stays and a box says so.
#include "support/fulldisk.h"
#include "support/recordingnotifier.h"
#include "support/windowsetup.h"

#include "core/config/linksettings.h"
#include "ui/progress/tcpprogressdialog.h"

#include <QDir>
#include <QtTest>

class TstReportSave : public QObject
{
    Q_OBJECT

private slots:
    void fullDisk()
    {
        FullDisk disk(QStringLiteral("raport.csv"), "old report\n");
        if (!disk.ready)
            QSKIP(qPrintable(disk.why));
        LinkSettings settings;
        addTcpEntry(settings, QString(5000, QLatin1Char('K')), QStringLiteral("9100"));
        RecordingNotifier notifier;
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

QTEST_MAIN(TstReportSave)
#include "tst_reportsave.moc"
