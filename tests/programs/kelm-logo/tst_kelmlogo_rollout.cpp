// kelm-logo as a process against printers played by this test where it must
// count connections, and the virtual printer: retries, settings and the jobs
// at once, input it refuses, Ctrl+C, answers that are no acknowledgement.
#include "support/kelmlogorun.h"
#include "support/loopbackprinter.h"
#include "support/ptyprinter.h"
#include "support/simprocess.h"
#include "support/testfolder.h"

#include <QCoreApplication>
#include <QHash>
#include <QImage>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <functional>
#include <memory>
#include <sys/socket.h>

namespace {

// Printers played here: each answers 0x64 to every whole frame, after a delay,
// and counts the connections open at once.
class TestPrinters : public QObject
{
public:
    TestPrinters(int count, int delayMs) : delayMs(delayMs)
    {
        for (int i = 0; i < count; ++i) {
            auto *server = new QTcpServer(this);
            server->listen(QHostAddress::LocalHost);
            ports.append(server->serverPort());
            connect(server, &QTcpServer::newConnection, this, [this, server, i] {
                // A close and the next connection can come in the same pass: count
                // the closes first, so that an overlap seen is a real one.
                for (QTcpSocket *socket : live.values())
                    if (peerClosed(socket))
                        closed(socket);
                while (QTcpSocket *socket = server->nextPendingConnection())
                    take(socket, i);
            });
        }
        connections.fill(0, count);
        frames.fill(0, count);
    }

    QList<quint16> ports;
    QVector<int> connections;
    QVector<int> frames;
    int open = 0;
    int mostOpen = 0;
    std::function<void(int printer)> onFrame;

private:
    static bool peerClosed(QTcpSocket *socket)
    {
        char byte;
        const ssize_t n =
            ::recv(int(socket->socketDescriptor()), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }
    void closed(QTcpSocket *socket)
    {
        if (live.remove(socket))
            --open;
    }
    void take(QTcpSocket *socket, int printer)
    {
        ++connections[printer];
        live.insert(socket);
        mostOpen = qMax(mostOpen, ++open);
        connect(socket, &QTcpSocket::readyRead, this, [=] {
            int &pending = pendingBytes[socket];
            pending += int(socket->readAll().size());
            for (; pending >= 130; pending -= 130) {
                ++frames[printer];
                if (onFrame)
                    onFrame(printer);
                QTimer::singleShot(delayMs, socket, [socket] { socket->write("\x64"); });
            }
        });
        connect(socket, &QTcpSocket::disconnected, this, [=] {
            closed(socket);
            pendingBytes.remove(socket);
            socket->deleteLater();
        });
    }

    int delayMs;
    QSet<QTcpSocket *> live;
    QHash<QTcpSocket *, int> pendingBytes; // of a frame not yet whole
};

} // namespace

class TstKelmLogoRollout : public QObject
{
    Q_OBJECT

private slots:
    // A printer refused once and then up is programmed at its second attempt;
    // "already programmed" is never tried again.
    void retries()
    {
        TestFolder folder;
        const QString picture = makePicture(folder);
        SimProcess programmed({"--answer", "programmed", "--tcp", "127.0.0.1:0"});
        QVERIFY(programmed.started);
        const quint16 late = LoopbackPrinter::deadPort();
        QProcess process;
        process.start(QStringLiteral(KELM_LOGO),
                      {"program", picture, "--tcp", tcp(late), "--tcp", tcp(programmed.ports.at(0)),
                       "--retries", "1", "--timeout", "5", "--json", "--y", "10"});
        std::unique_ptr<SimProcess> up;
        QByteArray err;
        const Run run = runLogo({}, &process, [&](QProcess &p) {
            err += p.readAllStandardError();
            if (!up && err.contains("ponowienie")) {
                LoopbackPrinter::freePort(late);
                up.reset(new SimProcess({"--tcp", tcp(late)}));
            }
        });
        QVERIFY(up && up->started);
        QCOMPARE(run.code, 1);
        const QList<QJsonObject> lines = run.json();
        QCOMPARE(lines.size(), 2);
        for (const QJsonObject &line : lines) {
            if (line.value("port").toInt() == late) {
                QCOMPARE(line.value("outcome").toString(), QStringLiteral("programmed"));
                QCOMPARE(line.value("attempts").toInt(), 2);
            } else {
                QCOMPARE(line.value("outcome").toString(), QStringLiteral("already_programmed"));
                QCOMPARE(line.value("attempts").toInt(), 1);
            }
        }
    }

    // The ticked printers of a settings.txt, at most two connections at once;
    // --all takes the unticked one too.
    void settingsAndJobs()
    {
        TestFolder folder;
        const QString picture = makePicture(folder);
        TestPrinters printers(6, 5);
        QByteArray settings = "\nTCP\n";
        for (int i = 0; i < 6; ++i)
            settings += QStringLiteral("Drukarka:TCP:127.0.0.1:%1:Sklep %2:%3\n")
                            .arg(printers.ports.at(i))
                            .arg(i + 1)
                            .arg(i == 2 ? 0 : 1)
                            .toUtf8();
        settings += "COM::1\n";
        const QString file = folder.filePath(QStringLiteral("settings.txt"));
        QVERIFY(writeFile(file, settings));

        const QStringList common{"program", picture, "--printers", file,
                                 "--y",     "10",    "--jobs",     "2"};
        Run run = runLogo(common);
        QCOMPARE(run.code, 0);
        QCOMPARE(printers.connections, (QVector<int>{1, 1, 0, 1, 1, 1}));
        QCOMPARE(printers.frames, (QVector<int>{9, 9, 0, 9, 9, 9}));
        QCOMPARE(printers.mostOpen, 2);

        // --force: the printers of the first run hold this logo already.
        run = runLogo(common + QStringList{"--all", "--force"});
        QCOMPARE(run.code, 0);
        QCOMPARE(printers.connections, (QVector<int>{2, 2, 1, 2, 2, 2}));
        QCOMPARE(printers.mostOpen, 2);
    }

    // Input that cannot be used: exit 2, the reason, and no connection made.
    void badInput_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("picture unreadable")
            << QStringList{"program", "@missing.png", "--tcp", "@printer"} << QByteArray()
            << QStringList{"nie można wczytać obrazu"};
        QTest::newRow("bad lines in the printers file")
            << QStringList{"program", "@picture", "--printers", "@csv"}
            << QByteArray("Kasa 1;127.0.0.1;@port\nKasa 2;127.0.0.1;70000\n"
                          "Kasa 3;127.0.0.1;@port\nKa:sa 4;127.0.0.1;9100\nKasa 5;127.0.0.1;abc\n")
            << QStringList{"wiersz 2:", "wiersz 3:", "wiersz 4:", "wiersz 5:"};
        QTest::newRow("unknown option")
            << QStringList{"program", "@picture", "--tcp", "@printer", "--speed", "9"}
            << QByteArray() << QStringList{"Nieznana opcja: --speed"};
        QTest::newRow("empty logo")
            << QStringList{"program", "@picture", "--tcp", "@printer", "--y", "1"} << QByteArray()
            << QStringList{"puste"};
        QTest::newRow("report cannot be written")
            << QStringList{"program",  "@picture", "--tcp",
                           "@printer", "--report", "/nonexistent/r.csv"}
            << QByteArray() << QStringList{"raportu"};
        QTest::newRow("same printer twice")
            << QStringList{"program", "@picture", "--tcp", "@printer", "--tcp", "@printer"}
            << QByteArray() << QStringList{"podana już wcześniej"};
        QTest::newRow("no printer") << QStringList{"program", "@picture", "--timeout", "1"}
                                    << QByteArray() << QStringList{"Nie podano drukarek"};
    }
    void badInput()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, csv);
        QFETCH(QStringList, said);
        TestFolder folder;
        TestPrinters printers(1, 0);
        const QString port = QString::number(printers.ports.at(0));
        const QString csvPath = folder.filePath(QStringLiteral("drukarki.csv"));
        QVERIFY(writeFile(csvPath, QByteArray(csv).replace("@port", port.toUtf8())));
        const QString picture = makePicture(folder);
        for (QString &argument : arguments) {
            if (argument == QLatin1String("@picture"))
                argument = picture;
            else if (argument == QLatin1String("@printer"))
                argument = tcp(printers.ports.at(0));
            else if (argument == QLatin1String("@csv"))
                argument = csvPath;
            else if (argument.startsWith(QLatin1Char('@')))
                argument = folder.filePath(argument.mid(1));
        }
        const Run run = runLogo(arguments);
        QCOMPARE(run.code, 2);
        const QString err = QString::fromUtf8(run.err);
        for (const QString &text : said)
            QVERIFY2(err.contains(text), qPrintable(err));
        QVERIFY(run.out.isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(printers.connections.at(0), 0);
    }

    // Ctrl+C: no frame after it, the answers in flight still count, every
    // printer reported as stopped, exit 1.
    void interrupted()
    {
        TestFolder folder;
        const QString picture = makePicture(folder);
        TestPrinters printers(2, 100);
        QProcess process;
        process.start(QStringLiteral(KELM_LOGO),
                      {"program", picture, "--tcp", tcp(printers.ports.at(0)), "--tcp",
                       tcp(printers.ports.at(1)), "--json"});
        printers.onFrame = [&](int printer) {
            if (printer == 0 && printers.frames.at(0) == 3)
                ::kill(pid_t(process.processId()), SIGINT);
        };
        const Run run = runLogo({}, &process);
        QCOMPARE(run.code, 1);
        const QList<QJsonObject> lines = run.json();
        QCOMPARE(lines.size(), 2);
        for (const QJsonObject &line : lines) {
            const int i = line.value("printer").toInt() - 1;
            QCOMPARE(line.value("outcome").toString(), QStringLiteral("stopped"));
            QCOMPARE(line.value("rows_sent").toInt(), printers.frames.at(i));
        }
        QCOMPARE(printers.frames.at(0), 3);
        QVERIFY(run.err.contains("Ctrl+C"));
    }

    // An echo on TCP/IP and a two-byte answer on the serial line: neither ends
    // programmed.
    void echoAndLongAnswers()
    {
        TestFolder folder;
        const QString picture = folder.filePath(QStringLiteral("logo.png"));
        QImage image(120, 40, QImage::Format_Mono);
        image.fill(0);
        QVERIFY(image.save(picture));

        LoopbackPrinter echo;
        echo.echo = true;
        const Run tcpRun = runLogo({"program", picture, "--tcp", tcp(echo.port()), "--retries", "1",
                                    "--timeout", "5", "--json"});
        QCOMPARE(tcpRun.code, 1);
        const QJsonObject printer = tcpRun.json().value(0);
        QCOMPARE(printer.value("outcome").toString(), QStringLiteral("unconfirmed"));
        // A failure: tried again, whole, on a new connection.
        QCOMPARE(printer.value("attempts").toInt(), 2);
        QCOMPARE(echo.connections, 2);
        QCOMPARE(echo.frames.size(), 2 * printer.value("rows").toInt());

        PtyPrinter serial;
        serial.programInThisThread = false;
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

QTEST_MAIN(TstKelmLogoRollout)
#include "tst_kelmlogo_rollout.moc"
