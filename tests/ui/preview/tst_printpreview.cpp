// The print preview; the window's picture and the preview show what "Wyślij"
// sends, the raster kelm-logo builds from the same choices; conversion.txt keeps
// them.
#include "core/logo/conversionfile.h"
#include "core/logo/picturereader.h"
#include "support/windowfixture.h"
#include "tools/benchmarks/benchpicture.h"
#include "ui/startup.h"

#include <QComboBox>
#include <QPainter>
#include <QTest>

#include <sys/stat.h>

Q_DECLARE_METATYPE(Conversion)
Q_DECLARE_METATYPE(Dither)

class TstPrintPreview : public QObject, WindowFixture
{
    Q_OBJECT

    // Dark text and a half-transparent bar on a transparent background, the
    // transparent dots holding black colour values.
    QString saveTransparentLogo(int width = 600, int height = 200)
    {
        QImage picture(width, height, QImage::Format_ARGB32);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.fillRect(width / 10, height / 3, width / 2, height / 3, Qt::black);
        painter.fillRect(width / 10, height * 3 / 4, width * 4 / 5, height / 8,
                         QColor(40, 40, 40, 140));
        painter.end();
        const QString path = folder->filePath(QStringLiteral("logo.png"));
        return picture.save(path) ? path : QString();
    }

    void choose(PrintPreview *preview, Dither method, int level = 128)
    {
        auto *box = preview->findChild<QComboBox *>(QStringLiteral("methodBox"));
        box->setCurrentIndex(box->findData(int(method)));
        preview->findChild<QSlider *>(QStringLiteral("levelSlider"))->setValue(level);
    }

    QString previewText(const char *name)
    {
        return t->printPreview()->findChild<QLabel *>(QLatin1String(name))->text();
    }

    QString savePhoto()
    {
        const QString path = folder->filePath(QStringLiteral("zdjecie.png"));
        return logoLikePicture(900, 400, 3).save(path) ? path : QString();
    }

    template <typename Widget> Widget *control(const char *name)
    {
        return t->printPreview()->findChild<Widget *>(QLatin1String(name));
    }

    // As the operator does it, in the print preview.
    void choose(const Conversion &conversion)
    {
        auto *box = control<QComboBox>("methodBox");
        box->setCurrentIndex(box->findData(int(conversion.method)));
        control<QSlider>("levelSlider")->setValue(conversion.level);
        control<QCheckBox>("autoLevelCheck")->setChecked(conversion.autoLevel);
        control<QSlider>("brightnessSlider")->setValue(conversion.brightness);
    }

    static QImage rgb(const QImage &image) { return image.convertToFormat(QImage::Format_RGB32); }

private slots:
    void initTestCase() { configureApplication(*qApp); }

    void init() { openFixture(); }
    void cleanup() { closeFixture(); }

    // The preview, open while the sliders, placement and conversion change,
    // shows dot for dot what "Wyślij" then encodes; transparency prints white.
    void previewIsTheSentRaster_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<bool>("footer");
        QTest::addColumn<bool>("lock");
        QTest::addColumn<Dither>("method");
        QTest::newRow("100/100 header") << 100 << 100 << false << false << Dither::Diffusion;
        QTest::newRow("50/33 footer threshold") << 50 << 33 << true << false << Dither::Threshold;
        QTest::newRow("95/80 atkinson") << 95 << 80 << false << false << Dither::Atkinson;
        QTest::newRow("locked, X to 60 moves Y") << 60 << 0 << true << true << Dither::Diffusion;
    }

    void previewIsTheSentRaster()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(bool, footer);
        QFETCH(bool, lock);
        QFETCH(Dither, method);
        QVERIFY(t->openPicture(saveTransparentLogo()));
        PrintPreview *preview = t->printPreview();
        QVERIFY(preview->isVisible());
        choose(preview, method);
        t->child<QCheckBox>("keepProportionsCheck")->setChecked(lock);
        t->child<QRadioButton>(footer ? "footerRadio" : "headerRadio")->setChecked(true);
        t->sliderX()->setValue(x);
        if (y > 0)
            t->sliderY()->setValue(y);
        const int rows = (lock ? x : y) * 96 / 100;

        const QImage shown = preview->shownPicture();
        t->sendWhileOff(); // no printer: only the raster and the frame are built
        QCOMPARE(t->lineCount(), rows);
        QCOMPARE(shown, rasterPicture({t->logoHex(), t->lineCount()}));
        QCOMPARE(shown.size(), QSize(416, rows));
        QCOMPARE(shown.pixelIndex(0, 0), 0);
        QCOMPARE(shown.pixelIndex(208, rows / 2), 1);
        QCOMPARE(previewText("framesLabel"),
                 QStringLiteral("Ramki: %1, bajty: %2").arg(rows).arg(rows * 130));
        QCOMPARE(previewText("placementLabel"),
                 footer ? QStringLiteral("Miejsce: Stopka") : QStringLiteral("Miejsce: Nagłówek"));
        QCOMPARE(previewText("sizeLabel"),
                 QStringLiteral("Logo: %1 x %2 punktów").arg(x * 416 / 100).arg(rows));
    }

    // A slider at 0: nothing to send, nothing shown.
    void emptyLogo()
    {
        QVERIFY(t->openPicture(saveTransparentLogo()));
        t->sliderY()->setValue(0);
        QVERIFY(t->printPreview()->shownPicture().isNull());
        QCOMPARE(previewText("framesLabel"), QStringLiteral("Ramki: 0, bajty: 0"));
        QVERIFY(!t->printPreview()->findChild<QPushButton *>("savePngButton")->isEnabled());
    }

    // Square, wide and exact pictures, from the menu and from the preview, with
    // the lock on and off: both sliders set, the lock left as it was.
    void fitsProportions_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("lock");
        QTest::addColumn<bool>("fromPreview");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::newRow("square") << QSize(64, 64) << false << false << 23 << 100;
        QTest::newRow("square, locked") << QSize(64, 64) << true << true << 23 << 100;
        QTest::newRow("wide, locked") << QSize(1200, 250) << true << false << 100 << 90;
        QTest::newRow("wide") << QSize(1200, 250) << false << true << 100 << 90;
        QTest::newRow("exact, locked") << QSize(416, 96) << true << false << 100 << 100;
    }

    void fitsProportions()
    {
        QFETCH(QSize, size);
        QFETCH(bool, lock);
        QFETCH(bool, fromPreview);
        QFETCH(int, x);
        QFETCH(int, y);
        QVERIFY(t->openPicture(saveTransparentLogo(size.width(), size.height())));
        t->sliderX()->setValue(40);
        t->sliderY()->setValue(70);
        t->child<QCheckBox>("keepProportionsCheck")->setChecked(lock);
        if (fromPreview)
            t->printPreview()->findChild<QPushButton *>("fitButton")->click();
        else
            t->child<QAction>("fitProportionsAction")->trigger();
        QCOMPARE(t->sliderX()->value(), x);
        QCOMPARE(t->sliderY()->value(), y);
        QCOMPARE(t->child<QCheckBox>("keepProportionsCheck")->isChecked(), lock);
        QCOMPARE(t->child<QLabel>("scaleXValueLabel")->text(), QString::asprintf("%3d%%", x));
        QCOMPARE(t->child<QLabel>("scaleYValueLabel")->text(), QString::asprintf("%3d%%", y));
        if (fromPreview)
            QCOMPARE(t->printPreview()->shownPicture().height(), y * 96 / 100);
    }

    // The choice, made in the preview, converts again from the picture as read
    // and comes back after a restart; settings.txt does not learn of it.
    void conversionSurvivesRestart()
    {
        const QString path = saveTransparentLogo();
        QVERIFY(t->openPicture(path));
        t->sliderX()->setValue(70);
        choose(t->printPreview(), Dither::Threshold, 90);
        const QImage expected =
            rasterPicture(buildLogoRaster(readPicture(path), 70, 100, {Dither::Threshold, 90}));
        QCOMPARE(t->printPreview()->shownPicture(), expected);

        startWindow();
        QCOMPARE(int(t->conversion().method), int(Dither::Threshold));
        QCOMPARE(t->conversion().level, 90);
        auto *box = t->printPreview()->findChild<QComboBox *>(QStringLiteral("methodBox"));
        QCOMPARE(box->currentText(), QStringLiteral("Próg"));
        t->sliderX()->setValue(70);
        QCOMPARE(t->printPreview()->shownPicture(), expected);

        QFile settings(folder->filePath(QStringLiteral("settings.txt")));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        const QByteArray settingsText = settings.readAll();
        QVERIFY2(!settingsText.contains("threshold") && !settingsText.contains("90"),
                 settingsText.constData());
        QFile stored(folder->filePath(QLatin1String(conversionFileName)));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), QByteArray("dither=threshold\nlevel=90\n"));
    }

    // The window's picture is the dithered picture for the default method, else
    // the dots sent, stretched the same way.
    void pictureIsWhatPrints_data()
    {
        QTest::addColumn<Conversion>("conversion");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::newRow("diffusion, lighter")
            << Conversion{Dither::Diffusion, 128, false, 40} << 60 << 100;
        QTest::newRow("threshold auto, darker")
            << Conversion{Dither::Threshold, 128, true, -30} << 95 << 80;
        QTest::newRow("atkinson, lighter")
            << Conversion{Dither::Atkinson, 128, false, 45} << 100 << 50;
    }
    void pictureIsWhatPrints()
    {
        QFETCH(Conversion, conversion);
        QFETCH(int, x);
        QFETCH(int, y);
        const QString path = savePhoto();
        QVERIFY(t->openPicture(path));
        choose(conversion);
        t->sliderX()->setValue(x);
        t->sliderY()->setValue(y);
        t->sendWhileOff(); // no link: only the raster is wanted
        const LogoRaster sent{t->logoHex(), t->lineCount()};
        QCOMPARE(sent.hex, buildLogoRaster(readPicture(path), x, y, conversion).hex);
        QCOMPARE(t->printPreview()->shownPicture(), rasterPicture(sent));

        const QImage base = rgb(t->previewPixmap().toImage());
        if (conversion.method == Dither::Diffusion) {
            QCOMPARE(t->image(), toOneBit(readPicture(path), conversion.brightness));
            QCOMPARE(base, rgb(t->image().scaled(285, 192)));
        } else {
            QCOMPARE(base, rgb(placedDots(sent, x).scaled(285, 192)));
        }
        const QTransform scale = QTransform::fromScale(x / 100.0, y / 100.0);
        QCOMPARE(rgb(t->child<QLabel>("previewLabel")->pixmap(Qt::ReturnByValue).toImage()),
                 rgb(t->previewPixmap().transformed(scale).toImage()));
    }

    // "Automatyczny" moves the level to the one it finds, again when the
    // picture's size changes; moving the level by hand leaves it.
    void automaticLevelGivesWayToHand()
    {
        QVERIFY(t->openPicture(savePhoto()));
        choose({Dither::Threshold, 200, true});
        auto *level = control<QSlider>("levelSlider");
        auto *automatic = control<QCheckBox>("autoLevelCheck");
        int found = 0;
        buildLogoRaster(readPicture(t->imagePath()), 100, 100, t->conversion(), &found);
        QCOMPARE(level->value(), found);
        t->sliderX()->setValue(30);
        buildLogoRaster(readPicture(t->imagePath()), 30, 100, t->conversion(), &found);
        QCOMPARE(level->value(), found);
        QVERIFY(automatic->isChecked());

        level->setValue(found + 5);
        QVERIFY(!automatic->isChecked());
        QCOMPARE(t->currentRaster().hex, buildLogoRaster(readPicture(t->imagePath()), 30, 100,
                                                         {Dither::Threshold, found + 5})
                                             .hex);
    }

    // A FIFO in conversion.txt's place (it blocked the start) is neither read
    // nor written.
    void fifoConversionFile()
    {
        closeWindow();
        const QString path = folder->filePath(QLatin1String(conversionFileName));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        openWindow();
        QVERIFY(t->conversion() == Conversion());
        t->conversion().brightness = 10;
        closeWindow();
        QVERIFY(!QFileInfo(path).isFile());
    }
};

QTEST_MAIN(TstPrintPreview)
#include "tst_printpreview.moc"
