#include "core/logo/logoconversion.h"

#include <QPainter>
#include <QTest>

namespace {

// Dark text-like bars on a transparent background, as shops' logo files are:
// the transparent dots hold black colour values, which used to print.
QImage transparentLogo()
{
    QImage logo(416, 96, QImage::Format_ARGB32);
    logo.fill(Qt::transparent);
    QPainter painter(&logo);
    painter.fillRect(100, 30, 200, 20, QColor(0, 0, 0));
    painter.fillRect(100, 60, 200, 20, QColor(0, 0, 0, 128)); // half transparent
    return logo;
}

// A colour gradient whose dithering is worth comparing dot for dot.
QImage opaquePicture(QImage::Format format)
{
    QImage picture(300, 200, format);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgba(x * 255 / 299, y * 255 / 199, (x * y) % 256, 255));
    return picture;
}

int blackDots(const QImage &picture, const QRect &area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += qGray(picture.pixel(x, y)) < 128;
    return count;
}

} // namespace

class TstLogoConversion : public QObject
{
    Q_OBJECT

private slots:
    // Transparent dots come out white with every method, opaque dark ones black,
    // half-transparent black as a mid grey.
    void transparentPictureGoesOnWhite()
    {
        const QImage logo = transparentLogo();
        for (Dither method : {Dither::Diffusion, Dither::Threshold, Dither::Atkinson}) {
            const QImage printed = rasterPicture(buildLogoRaster(logo, 100, 100, {method, 128}));
            QCOMPARE(printed.size(), QSize(416, 96));
            const int outside =
                blackDots(printed, printed.rect()) - blackDots(printed, QRect(100, 30, 200, 50));
            QCOMPARE(outside, 0);
            QCOMPARE(blackDots(printed, QRect(100, 30, 200, 20)), 200 * 20);
            if (method != Dither::Threshold) {
                const int half = blackDots(printed, QRect(100, 60, 200, 20));
                QVERIFY2(half > 1400 && half < 2600, qPrintable(QString::number(half)));
            }
        }
        QCOMPARE(onWhite(logo).pixel(0, 0), qRgb(255, 255, 255));
        QCOMPARE(onWhite(logo).pixel(150, 70), qRgb(127, 127, 127));
    }

    // Without transparency the default conversion is the one the window always
    // had, bit for bit: dither at full size, then scale.
    void opaquePictureKeepsItsRaster()
    {
        QImage blackAtZero(200, 50, QImage::Format_Mono);
        blackAtZero.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        blackAtZero.fill(1);
        blackAtZero.scanLine(10)[3] = 0x5A;
        for (const QImage &picture : {opaquePicture(QImage::Format_RGB32),
                                      opaquePicture(QImage::Format_ARGB32), blackAtZero}) {
            const QImage before = picture.convertToFormat(QImage::Format_Mono, Qt::MonoOnly);
            QCOMPARE(toOneBit(picture), before);
            for (const auto &[x, y] : {std::pair{100, 100}, {50, 33}, {95, 80}, {1, 100}}) {
                const LogoRaster raster = buildLogoRaster(picture, x, y, {});
                const LogoRaster old = encodeLogoRaster(before, x, y);
                QCOMPARE(raster.lineCount, old.lineCount);
                QCOMPARE(raster.hex, old.hex);
            }
        }
    }

    // A left-to-right grey ramp at the logo's size: black exactly where the
    // luminance is below the level.
    void thresholdOnGreyRamp_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("firstWhite"); // first white column
        QTest::newRow("128") << 128 << 209;
        QTest::newRow("1") << 1 << 2;
        QTest::newRow("254") << 254 << 414;
    }

    void thresholdOnGreyRamp()
    {
        QFETCH(int, level);
        QFETCH(int, firstWhite);
        QImage ramp(416, 96, QImage::Format_RGB32);
        for (int x = 0; x < 416; ++x) {
            const int grey = x * 255 / 415; // below 128 up to x = 208
            for (int y = 0; y < 96; ++y)
                ramp.setPixel(x, y, qRgb(grey, grey, grey));
        }
        const QImage printed =
            rasterPicture(buildLogoRaster(ramp, 100, 100, {Dither::Threshold, level}));
        for (int y : {0, 95}) {
            for (int x = 0; x < 416; ++x)
                QCOMPARE(qGray(printed.pixel(x, y)) == 0, x < firstWhite);
        }
    }

    // Atkinson keeps plain areas plain, and a mid grey gets a dither.
    void atkinsonKeepsPlainAreas()
    {
        QImage picture(800, 300, QImage::Format_RGB32);
        for (const auto &[fill, least, most] :
             {std::tuple{QColor(Qt::white), 0, 0},
              {QColor(Qt::black), 416 * 96, 416 * 96},
              {QColor(128, 128, 128), 416 * 96 / 3, 416 * 96 * 2 / 3}}) {
            picture.fill(fill);
            const QImage printed =
                rasterPicture(buildLogoRaster(picture, 100, 100, {Dither::Atkinson, 128}));
            const int black = blackDots(printed, printed.rect());
            QVERIFY2(black >= least && black <= most, qPrintable(QString::number(black)));
        }
    }

    void fitsProportions_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::newRow("square icon") << QSize(64, 64) << 23 << 100;
        QTest::newRow("wide text") << QSize(1200, 250) << 100 << 90;
        QTest::newRow("the logo's size") << QSize(416, 96) << 100 << 100;
        QTest::newRow("a thin line keeps a row") << QSize(100000, 1) << 100 << 2;
        QTest::newRow("a tall strip keeps a dot") << QSize(1, 100000) << 1 << 100;
    }

    void fitsProportions()
    {
        QFETCH(QSize, picture);
        QFETCH(int, x);
        QFETCH(int, y);
        const Proportions fit = fitProportions(picture);
        QCOMPARE(fit.xPercent, x);
        QCOMPARE(fit.yPercent, y);
    }

    void namesMethods()
    {
        Dither method = Dither::Diffusion;
        QVERIFY(parseDither(QStringLiteral("atkinson"), &method) && method == Dither::Atkinson);
        QVERIFY(!parseDither(QStringLiteral("Threshold"), &method) && method == Dither::Atkinson);
    }
};

QTEST_APPLESS_MAIN(TstLogoConversion)
#include "tst_logoconversion.moc"
