// kelm-logo as a process: its preview against the raster the main window
// encodes (also with --brightness and --level auto chosen in both) and what the
// virtual printer (another process) stores; every kind of ending, over TCP/IP
// and the serial link.
#include "support/kelmlogorun.h"
#include "support/loopbackprinter.h"
#include "support/mainwindowtester.h"
#include "support/recordingnotifier.h"
#include "support/simprocess.h"
#include "support/testfolder.h"

#include "core/logo/logoconversion.h"
#include "core/logo/picturereader.h"
#include "core/transfer/printeroutcome.h"
#include "tools/benchmarks/benchpicture.h"
#include "ui/startup.h"

#include <QBitArray>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QTest>

Q_DECLARE_METATYPE(Conversion)

namespace {

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
    void initTestCase() { configureApplication(*qApp); }

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
            QVERIFY(t.openPicture(picture));
            t.sliderX()->setValue(x);
            t.sliderY()->setValue(y);
            t.chooseConversion(conversion);
            t.sendWhileOff(); // no printer: only the raster is built
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

    void sameRasterAsTheWindow_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<Conversion>("conversion");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::newRow("threshold auto, lighter")
            << QStringList{"--dither",     "threshold", "--level", "auto",
                           "--brightness", "35",        "--x",     "80"}
            << Conversion{Dither::Threshold, 128, true, 35} << 80 << 100;
        QTest::newRow("atkinson, darker")
            << QStringList{"--dither", "atkinson", "--brightness", "-40", "--y", "50"}
            << Conversion{Dither::Atkinson, 128, false, -40} << 100 << 50;
        QTest::newRow("diffusion, lighter")
            << QStringList{"--brightness=+50", "--x", "70", "--y", "90"}
            << Conversion{Dither::Diffusion, 128, false, 50} << 70 << 90;
    }
    void sameRasterAsTheWindow()
    {
        QFETCH(QStringList, options);
        QFETCH(Conversion, conversion);
        QFETCH(int, x);
        QFETCH(int, y);
        TestFolder folder;
        const QString picture = folder.filePath(QStringLiteral("zdjecie.png"));
        QVERIFY(logoLikePicture(1200, 500, 4).save(picture));
        const QString png = folder.filePath(QStringLiteral("podglad.png"));

        const Run logo = runLogo(QStringList{"preview", picture, "-o", png} + options);
        QCOMPARE(logo.code, 0);
        const QByteArray said = logo.out;

        RecordingNotifier notifier;
        MainWindow window(&notifier);
        MainWindowTester t(window);
        QVERIFY(t.openPicture(picture));
        PrintPreview *preview = t.printPreview();
        auto *methods = preview->findChild<QComboBox *>(QStringLiteral("methodBox"));
        methods->setCurrentIndex(methods->findData(int(conversion.method)));
        preview->findChild<QCheckBox *>(QStringLiteral("autoLevelCheck"))
            ->setChecked(conversion.autoLevel);
        preview->findChild<QSlider *>(QStringLiteral("brightnessSlider"))
            ->setValue(conversion.brightness);
        t.sliderX()->setValue(x);
        t.sliderY()->setValue(y);
        t.sendWhileOff(); // no link: only the raster is wanted

        const QImage stored(png);
        QCOMPARE(stored.size(), QSize(416, y * 96 / 100));
        QCOMPARE(stored.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither)
                     .convertToFormat(QImage::Format_RGB32),
                 rasterPicture({t.logoHex(), t.lineCount()}).convertToFormat(QImage::Format_RGB32));
        const int level = preview->findChild<QSlider *>(QStringLiteral("levelSlider"))->value();
        QCOMPARE(said.contains(QStringLiteral("Próg automatyczny: %1.").arg(level).toUtf8()),
                 conversion.autoLevel);
        KELM_EXPECT_NO_NOTICE(notifier);
    }

    void refusesBadChoices_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("brightness past 100") << QStringList{"--brightness", "101"};
        QTest::newRow("brightness not a number") << QStringList{"--brightness", "jasno"};
        QTest::newRow("auto level without threshold") << QStringList{"--level", "auto"};
    }
    void refusesBadChoices()
    {
        QFETCH(QStringList, options);
        TestFolder folder;
        const Run logo =
            runLogo(QStringList{"preview", folder.filePath("a.png"), "-o", "b.png"} + options);
        QCOMPARE(logo.code, 2);
        QVERIFY(logo.err.contains("--"));
    }
};

QTEST_MAIN(TstKelmLogo)
#include "tst_kelmlogo.moc"
