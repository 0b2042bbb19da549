// "Jasność" and the automatic level: neutral changes nothing, Otsu's level
// splits two tones, and both are kept in conversion.txt.
#include "core/logo/conversionfile.h"
#include "core/logo/greylevels.h"
#include "core/logo/logoconversion.h"

#include <QCryptographicHash>
#include <QTest>

Q_DECLARE_METATYPE(Dither)
Q_DECLARE_METATYPE(Conversion)

namespace {

// Colours from a formula, so that no font or Qt drawing can change them.
QImage formulaPicture(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y,
                             qRgb((x * 7 + y * 3) % 256, (x * y / 5) % 256, (x + 2 * y) % 256));
    return picture;
}

// Two greys at the logo's size: the darker in the left `darkShare` percent.
QImage twoTones(int dark, int light, int darkShare)
{
    QImage picture(416, 96, QImage::Format_RGB32);
    picture.fill(qRgb(light, light, light));
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width() * darkShare / 100; ++x)
            picture.setPixel(x, y, qRgb(dark, dark, dark));
    return picture;
}

int blackDots(const LogoRaster &raster)
{
    int count = 0;
    for (const char byte : QByteArray::fromHex(raster.hex))
        count += qPopulationCount(quint8(byte));
    return count;
}

} // namespace

class TstBrightness : public QObject
{
    Q_OBJECT

private slots:
    // The rasters as they were before "Jasność" existed (MD5 of the hex), for a
    // picture the smooth reduction shrinks and one it reduces first.
    void neutralKeepsTheRaster_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<Dither>("method");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<QByteArray>("md5");
        const QSize small(700, 260), large(2600, 700);
        QTest::newRow("diffusion") << small << Dither::Diffusion << 95 << 80
                                   << QByteArray("a0dab43169ca69945763eb4391553d6a");
        QTest::newRow("threshold") << small << Dither::Threshold << 50 << 33
                                   << QByteArray("0b73489115ec38cb1ac7a7966ae38d3b");
        QTest::newRow("atkinson") << small << Dither::Atkinson << 95 << 80
                                  << QByteArray("708fcea44614a3ba7c4fff247ee05bc1");
        QTest::newRow("large diffusion") << large << Dither::Diffusion << 50 << 33
                                         << QByteArray("79c5189d96c78947f9494fd7ff9d8e78");
    }
    void neutralKeepsTheRaster()
    {
        QFETCH(QSize, size);
        QFETCH(Dither, method);
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(QByteArray, md5);
        const LogoRaster raster =
            buildLogoRaster(formulaPicture(size.width(), size.height()), x, y, {method, 90});
        QCOMPARE(QCryptographicHash::hash(raster.hex, QCryptographicHash::Md5).toHex(), md5);
    }

    // Lighter gives fewer black dots with every method, darker more.
    void brightnessLightensAndDarkens()
    {
        const QImage picture = formulaPicture(700, 260);
        for (const Dither method : {Dither::Diffusion, Dither::Threshold, Dither::Atkinson}) {
            int previous = 416 * 96 + 1;
            for (int brightness : {-100, -40, 0, 40, 100}) {
                const int black =
                    blackDots(buildLogoRaster(picture, 100, 100, {method, 128, false, brightness}));
                QVERIFY2(
                    black < previous,
                    qPrintable(
                        QStringLiteral("%1, %2: %3").arg(int(method)).arg(brightness).arg(black)));
                previous = black;
            }
        }
    }

    // The automatic level falls between the two tones whatever their shares and
    // the brightness, so the dark part prints black and the light one white.
    void otsuSplitsTwoTones_data()
    {
        QTest::addColumn<int>("dark");
        QTest::addColumn<int>("light");
        QTest::addColumn<int>("share");
        QTest::addColumn<int>("brightness");
        QTest::newRow("black and white, half") << 0 << 255 << 50 << 0;
        QTest::newRow("close greys, mostly dark") << 100 << 110 << 90 << 0;
        QTest::newRow("far above 128, a tenth dark") << 180 << 240 << 10 << 0;
        QTest::newRow("lightened") << 60 << 120 << 50 << 60;
    }
    void otsuSplitsTwoTones()
    {
        QFETCH(int, dark);
        QFETCH(int, light);
        QFETCH(int, share);
        QFETCH(int, brightness);
        int level = 0;
        const LogoRaster raster =
            buildLogoRaster(twoTones(dark, light, share), 100, 100,
                            {Dither::Threshold, 128, true, brightness}, &level);
        const GreyTable table = brightnessTable(brightness);
        QVERIFY2(table[size_t(dark)] < level && level <= table[size_t(light)],
                 qPrintable(QString::number(level)));
        QCOMPARE(blackDots(raster), 416 * share / 100 * 96);
        // The middle of the gap, not its edge.
        if (brightness == 0)
            QVERIFY(qAbs(level - (dark + light + 1) / 2) <= 1);
    }

    void conversionFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Conversion>("conversion");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("older file: neutral, its level")
            << QByteArray("dither=threshold\nlevel=90\n") << Conversion{Dither::Threshold, 90}
            << QByteArray("dither=threshold\nlevel=90\n");
        QTest::newRow("automatic level, lighter")
            << QByteArray("dither=threshold\r\nlevel=auto\r\nbrightness=30\r\n")
            << Conversion{Dither::Threshold, 128, true, 30}
            << QByteArray("dither=threshold\nlevel=auto\nbrightness=30\n");
        QTest::newRow("darker, out of range")
            << QByteArray("brightness=-400\nlevel=x\n")
            << Conversion{Dither::Diffusion, 128, false, -100}
            << QByteArray("dither=diffusion\nlevel=128\nbrightness=-100\n");
    }
    void conversionFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(Conversion, conversion);
        QFETCH(QByteArray, written);
        QVERIFY(parseConversionFile(content) == conversion);
        QCOMPARE(formatConversionFile(conversion), written);
    }
};

QTEST_APPLESS_MAIN(TstBrightness)
#include "tst_brightness.moc"
