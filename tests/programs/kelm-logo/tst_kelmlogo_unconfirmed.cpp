// kelm-logo against printers that answer, but not with the acknowledgement: an
// echo on TCP/IP, a two-byte answer on the serial line. Neither ends programmed.
#include "support/loopbackprinter.h"
#include "support/ptyprinter.h"
#include "support/testfolder.h"

#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

class TstKelmLogoUnconfirmed : public QObject
{
    Q_OBJECT

    struct Run
    {
        int code = -1;
        QJsonObject json; // the one printer's line
    };

    // Runs kelm-logo to its end while this process's event loop serves the printer.
    static Run runLogo(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral(KELM_LOGO), arguments);
        Run run;
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000)) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.json = QJsonDocument::fromJson(process.readAllStandardOutput().trimmed()).object();
        return run;
    }

private slots:
    void echoAndLongAnswers()
    {
        TestFolder folder;
        const QString picture = folder.filePath(QStringLiteral("logo.png"));
        QImage image(120, 40, QImage::Format_Mono);
        image.fill(0);
        QVERIFY(image.save(picture));

        LoopbackPrinter echo;
        echo.echo = true;
        const Run tcp =
            runLogo({"program", picture, "--tcp", QStringLiteral("127.0.0.1:%1").arg(echo.port()),
                     "--retries", "1", "--timeout", "5", "--json"});
        QCOMPARE(tcp.code, 1);
        QCOMPARE(tcp.json.value("outcome").toString(), QStringLiteral("unconfirmed"));
        // A failure: tried again, whole, on a new connection.
        QCOMPARE(tcp.json.value("attempts").toInt(), 2);
        QCOMPARE(echo.connections, 2);
        QCOMPARE(echo.frames.size(), 2 * tcp.json.value("rows").toInt());

        PtyPrinter serial;
        QVERIFY(serial.isValid());
        serial.otherwise = {"\x64\x64", {}};
        const Run line = runLogo(
            {"program", picture, "--serial", serial.slavePath(), "--timeout", "5", "--json"});
        QCOMPARE(line.code, 1);
        QCOMPARE(line.json.value("outcome").toString(), QStringLiteral("unconfirmed"));
        QCOMPARE(line.json.value("rows_sent").toInt(), line.json.value("rows").toInt());
    }
};

QTEST_MAIN(TstKelmLogoUnconfirmed)
#include "tst_kelmlogo_unconfirmed.moc"
