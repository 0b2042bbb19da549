// kelm-logo against printers that answer, but not with the acknowledgement: an
// echo on TCP/IP, a two-byte answer on the serial line. Neither ends programmed.
#include "support/kelmlogorun.h"
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
        const Run tcpRun = runLogo({"program", picture, "--tcp", tcp(echo.port()), "--retries",
                                    "1", "--timeout", "5", "--json"});
        QCOMPARE(tcpRun.code, 1);
        const QJsonObject printer = tcpRun.json().value(0);
        QCOMPARE(printer.value("outcome").toString(), QStringLiteral("unconfirmed"));
        // A failure: tried again, whole, on a new connection.
        QCOMPARE(printer.value("attempts").toInt(), 2);
        QCOMPARE(echo.connections, 2);
        QCOMPARE(echo.frames.size(), 2 * printer.value("rows").toInt());

        PtyPrinter serial;
        QVERIFY(serial.isValid());
        serial.otherwise = {"\x64\x64", {}};
        const Run lineRun = runLogo(
            {"program", picture, "--serial", serial.slavePath(), "--timeout", "5", "--json"});
        QCOMPARE(lineRun.code, 1);
        const QJsonObject port = lineRun.json().value(0);
        QCOMPARE(port.value("outcome").toString(), QStringLiteral("unconfirmed"));
        QCOMPARE(port.value("rows_sent").toInt(), port.value("rows").toInt());
    }
};

QTEST_MAIN(TstKelmLogoUnconfirmed)
#include "tst_kelmlogo_unconfirmed.moc"
