// The window's picture and the print preview show what "Wyślij" sends, the
// raster kelm-logo builds from the same choices; conversion.txt keeps them.
#include "core/logo/conversionfile.h"
#include "core/logo/picturereader.h"
#include "support/windowfixture.h"
#include "tools/benchmarks/benchpicture.h"
#include "ui/startup.h"

#include <QComboBox>
#include <QTest>

#include <sys/stat.h>

Q_DECLARE_METATYPE(Conversion)

class TstPictureChoices : public QObject, WindowFixture
{
    Q_OBJECT

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

    // Kept beside the method and level; the preview's controls come back.
    void choicesSurviveRestart()
    {
        QVERIFY(t->openPicture(savePhoto()));
        choose({Dither::Threshold, 128, true, -25});
        startWindow();
        QVERIFY(t->conversion() ==
                (Conversion{Dither::Threshold, t->conversion().level, true, -25}));
        QVERIFY(control<QCheckBox>("autoLevelCheck")->isChecked());
        QCOMPARE(control<QSlider>("brightnessSlider")->value(), -25);
        QFile stored(folder->filePath(QLatin1String(conversionFileName)));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), QByteArray("dither=threshold\nlevel=auto\nbrightness=-25\n"));
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

QTEST_MAIN(TstPictureChoices)
#include "tst_picturechoices.moc"
