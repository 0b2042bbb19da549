// kelm-logo as a process, against the virtual printer (another process) and
// against printers played by this test where it must count connections; its
// preview against the raster the main window encodes.
#include "support/loopbackprinter.h"
#include "support/mainwindowtester.h"
#include "support/recordingnotifier.h"
#include "support/simprocess.h"
#include "support/testfolder.h"

#include "core/logo/logoconversion.h"
#include "core/logo/picturereader.h"
#include "core/transfer/printeroutcome.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QPainter>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <functional>
#include <sys/socket.h>

namespace {

struct Run
{
    int code = -1;
    QByteArray out;
    QByteArray err;

    QList<QJsonObject> json() const
    {
        QList<QJsonObject> lines;
        for (const QByteArray &line : out.split('\n'))
            if (!line.isEmpty() && !line.startsWith("{\"summary\""))
                lines.append(QJsonDocument::fromJson(line).object());
        return lines;
    }
};

// Runs kelm-logo to its end while this process's event loop keeps serving.
Run runLogo(const QStringList &arguments, QProcess *started = nullptr,
            const std::function<void(QProcess &)> &whileRunning = {})
{
    QProcess own;
    QProcess &process = started ? *started : own;
    if (!started)
        process.start(QStringLiteral(KELM_LOGO), arguments);
    const bool ended = QTest::qWaitFor(
        [&] {
            if (whileRunning)
                whileRunning(process);
            return process.state() == QProcess::NotRunning;
        },
        60000);
    Run run;
    if (!ended) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

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

QString tcp(quint16 port)
{
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// A logo on transparency: a dark mark and text-like bars, a half-transparent
// band, nothing symmetric. 300 x 120, so that --fit has work to do.
QString makePicture(const TestFolder &folder)
{
    QImage image(300, 120, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setPen(QPen(QColor(20, 20, 20), 5));
    painter.drawEllipse(10, 10, 100, 100);
    painter.fillRect(130, 20, 150, 18, QColor(0, 0, 0));
    painter.fillRect(130, 60, 90, 12, QColor(90, 90, 90));
    painter.fillRect(130, 90, 160, 20, QColor(0, 0, 0, 110));
    painter.drawLine(20, 115, 290, 5);
    painter.end();
    const QString path = folder.filePath(QStringLiteral("logo.png"));
    image.save(path);
    return path;
}

// Black dots of a 1-bit or grey picture, as a comparable list of rows.
QList<QBitArray> dots(const QImage &image)
{
    QList<QBitArray> rows;
    for (int y = 0; y < image.height(); ++y) {
        QBitArray row(image.width());
        for (int x = 0; x < image.width(); ++x)
            row.setBit(x, qGray(image.pixel(x, y)) < 128);
        rows.append(row);
    }
    return rows;
}

} // namespace

class TstKelmLogo : public QObject
{
    Q_OBJECT

private slots:
    // The preview, the raster the window builds, and what the printer stores from
    // `program` are the same dots.
    void previewIsWhatThePrinterStores_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("method");
        QTest::addColumn<bool>("serial");
        QTest::newRow("threshold, footer, TCP/IP")
            << QStringList{"--dither", "threshold", "--level", "140", "--x", "60", "--footer"} << 60
            << 100 << int(Dither::Threshold) << false;
        QTest::newRow("own proportions, diffusion, serial")
            << QStringList{"--fit"} << -1 << -1 << int(Dither::Diffusion) << true;
        QTest::newRow("atkinson, half height, TCP/IP")
            << QStringList{"--dither", "atkinson", "--y", "50"} << 100 << 50
            << int(Dither::Atkinson) << false;
    }
    void previewIsWhatThePrinterStores()
    {
        QFETCH(QStringList, options);
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, method);
        QFETCH(bool, serial);
        TestFolder folder;
        const QString picture = makePicture(folder);
        const QString png = folder.filePath(QStringLiteral("preview.png"));

        const Run preview = runLogo(QStringList{"preview", picture, "-o", png} + options);
        QCOMPARE(preview.code, 0);
        Conversion conversion;
        conversion.method = Dither(method);
        conversion.level = 140;
        if (x < 0) {
            const Proportions fitted = fitProportions(readPicture(picture).size());
            x = fitted.xPercent;
            y = fitted.yPercent;
        }
        const LogoRaster raster = buildLogoRaster(readPicture(picture), x, y, conversion);
        {
            // The window, with the same picture, sliders and conversion, encodes it.
            RecordingNotifier notifier;
            MainWindow window(&notifier);
            MainWindowTester t(window);
            QVERIFY(t.loadFile(picture));
            t.sliderX()->setValue(x);
            t.sliderY()->setValue(y);
            t.conversion() = conversion;
            t.send();
            QCOMPARE(t.logoHex(), raster.hex);
        }
        const QImage shown(png);
        QCOMPARE(dots(shown), dots(rasterPicture(raster)));
        QVERIFY2(preview.out.contains(QStringLiteral("%1 x %2 punktów")
                                          .arg(x * 416 / 100)
                                          .arg(raster.lineCount)
                                          .toUtf8()),
                 preview.out);
        QVERIFY(preview.out.contains(QStringLiteral("%1 ramek, %2 bajtów")
                                         .arg(raster.lineCount)
                                         .arg(raster.lineCount * 130)
                                         .toUtf8()));

        const QString out = folder.filePath(QStringLiteral("out"));
        const QString tty = folder.filePath(QStringLiteral("ttyKELM"));
        SimProcess sim(serial ? QStringList{"--out", out, "--serial", tty}
                              : QStringList{"--out", out, "--tcp", "127.0.0.1:0"});
        QVERIFY(sim.started);
        const QStringList printer =
            serial ? QStringList{"--serial", tty} : QStringList{"--tcp", tcp(sim.ports.value(0))};
        const Run program = runLogo(QStringList{"program", picture} + printer + options);
        QCOMPARE(program.code, 0);
        QTRY_COMPARE(SimProcess::log(out).size(), 1);
        const QJsonObject logo = SimProcess::log(out).at(0);
        QVERIFY(logo.value("complete").toBool());
        QVERIFY(logo.value("violations").toArray().isEmpty());
        QCOMPARE(logo.value("placement").toString(), options.contains("--footer")
                                                         ? QStringLiteral("footer")
                                                         : QStringLiteral("header"));
        const QImage stored(QDir(out).filePath(logo.value("png").toString()));
        QCOMPARE(dots(stored), dots(shown));
    }

    // Every kind of ending, in the JSON lines and in the report, and the exit status.
    void outcomes()
    {
        TestFolder folder;
        const QString picture = makePicture(folder);
        SimProcess sim({"--tcp", "127.0.0.1:0", "--answer", "programmed", "--tcp", "127.0.0.1:0",
                        "--answer", "silent", "--tcp", "127.0.0.1:0", "--answer", "ack",
                        "--drop-after", "5", "--tcp", "127.0.0.1:0"});
        QVERIFY(sim.started);
        QCOMPARE(sim.ports.size(), 4);
        const QList<quint16> ports = sim.ports + QList<quint16>{LoopbackPrinter::deadPort()};
        const QStringList names{"Kasa 1", "Kasa 2", "Kasa 3", "Kasa 4", "Kasa 5"};
        QByteArray csv = "nazwa;adres;port\n";
        for (int i = 0; i < ports.size(); ++i)
            csv += QStringLiteral("%1;127.0.0.1;%2\n").arg(names.at(i)).arg(ports.at(i)).toUtf8();
        const QString printers = folder.filePath(QStringLiteral("sklepy.csv"));
        QVERIFY(writeFile(printers, csv));
        const QString report = folder.filePath(QStringLiteral("raport.csv"));

        const Run run = runLogo({"program", picture, "--printers", printers, "--timeout", "1",
                                 "--json", "--report", report});
        QCOMPARE(run.code, 1);
        const QList<QJsonObject> lines = run.json();
        QCOMPARE(lines.size(), 5);
        struct Expected
        {
            PrinterOutcome outcome;
            int rowsSent;
        };
        const QList<Expected> expected{{PrinterOutcome::Programmed, 96},
                                       {PrinterOutcome::AlreadyProgrammed, 0},
                                       {PrinterOutcome::NoAnswer, 0},
                                       {PrinterOutcome::HungUp, 4},
                                       {PrinterOutcome::Refused, 0}};
        const QStringList keys{"address", "attempts", "name",      "outcome", "port",
                               "printer", "rows",     "rows_sent", "seconds"};
        for (const QJsonObject &line : lines) {
            QCOMPARE(line.keys(), keys);
            const int i = line.value("printer").toInt() - 1;
            QVERIFY(i >= 0 && i < 5);
            QCOMPARE(line.value("name").toString(), names.at(i));
            QCOMPARE(line.value("port").toInt(), int(ports.at(i)));
            QCOMPARE(line.value("outcome").toString(), outcomeKey(expected.at(i).outcome));
            QCOMPARE(line.value("rows_sent").toInt(), expected.at(i).rowsSent);
            QCOMPARE(line.value("rows").toInt(), 96);
            QCOMPARE(line.value("attempts").toInt(), 1);
        }
        // The silent one ends at its time-out, not before.
        for (const QJsonObject &line : lines)
            if (line.value("outcome") == QLatin1String("no_answer"))
                QVERIFY(line.value("seconds").toDouble() >= 0.9);
        // Without a terminal the human side is a line per printer, then the table.
        QVERIFY2(run.err.contains("Niezaprogramowane (4)"), run.err);
        QVERIFY(run.err.contains("Zaprogramowano 1 z 5"));

        QFile file(report);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> reportLines = file.readAll().trimmed().split('\n');
        QCOMPARE(reportLines.size(), 6);
        for (int i = 0; i < 5; ++i) {
            const QString line = QString::fromUtf8(reportLines.at(i + 1));
            QVERIFY2(line.startsWith(names.at(i)), qPrintable(line));
            QVERIFY2(line.contains(QString::number(ports.at(i))), qPrintable(line));
            QVERIFY2(
                line.contains(outcomeText(expected.at(i).outcome, expected.at(i).rowsSent, 96)),
                qPrintable(line));
        }

        // All programmed: 0, and a line per printer on standard output.
        const Run good = runLogo({"program", picture, "--tcp", tcp(ports.at(0)), "--y", "20"});
        QCOMPARE(good.code, 0);
        QVERIFY2(good.out.contains("zaprogramowana; wierszy 19 z 19"), good.out);
    }

    // The serial printer: silent past the time-out, and a port that does not open.
    void serialOutcomes()
    {
        TestFolder folder;
        const QString picture = makePicture(folder);
        const QString tty = folder.filePath(QStringLiteral("ttyKELM"));
        SimProcess sim({"--answer", "silent", "--serial", tty});
        QVERIFY(sim.started);
        for (const QString &port : {tty, folder.filePath(QStringLiteral("ttyNONE"))}) {
            const Run run =
                runLogo({"program", picture, "--serial", port, "--timeout", "1", "--json"});
            QCOMPARE(run.code, 1);
            const QList<QJsonObject> lines = run.json();
            QCOMPARE(lines.size(), 1);
            QCOMPARE(lines.at(0).value("address").toString(), port);
            QCOMPARE(lines.at(0).value("port").toInt(), 0);
            QCOMPARE(lines.at(0).value("rows_sent").toInt(), 0);
            QCOMPARE(lines.at(0).value("outcome").toString(),
                     port == tty ? QStringLiteral("no_answer") : QStringLiteral("not_connected"));
        }
    }

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
            if (!up && err.contains("ponowienie"))
                up.reset(new SimProcess({"--tcp", tcp(late)}));
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
};

QTEST_MAIN(TstKelmLogo)
#include "tst_kelmlogo.moc"
