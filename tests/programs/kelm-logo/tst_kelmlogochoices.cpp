// kelm-logo's --brightness and --level auto against the window with the same
// choices made in its print preview: the same raster, dot for dot, so the same
// frames.
#include "core/logo/picturereader.h"
#include "support/kelmlogorun.h"
#include "support/mainwindowtester.h"
#include "support/recordingnotifier.h"
#include "support/testfolder.h"
#include "tools/benchmarks/benchpicture.h"
#include "ui/startup.h"

#include <QComboBox>
#include <QTest>

Q_DECLARE_METATYPE(Conversion)

class TstKelmLogoChoices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { configureApplication(*qApp); }

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

QTEST_MAIN(TstKelmLogoChoices)
#include "tst_kelmlogochoices.moc"
