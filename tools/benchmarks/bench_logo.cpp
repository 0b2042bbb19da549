// Timings of the logo path: raster and frames on "Wyślij", picture loading and
// the preview that follows the sliders.
#include "ui/startup.h"
#include "benchpicture.h"
#include "core/logo/logoraster.h"
#include "support/mainwindowtester.h"
#include "support/recordingnotifier.h"
#include "support/testfolder.h"
#include "core/printer/frame.h"

#include <QApplication>
#include <QTest>

#include <memory>

class BenchLogo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void rasterAndFrames();
    void qtReadAndConvert_data();
    void qtReadAndConvert();
    void windowLoadFile_data();
    void windowLoadFile();
    void previewUpdate_data();
    void previewUpdate();

private:
    void pictureFormats();

    std::unique_ptr<TestFolder> folder;
    RecordingNotifier notifier;
    std::unique_ptr<MainWindow> window;
};

void BenchLogo::initTestCase()
{
    folder = std::make_unique<TestFolder>();
    const QImage photo = logoLikePicture(4000, 3000, 20);
    for (const char *suffix : {"png", "bmp"})
        QVERIFY(photo.save(folder->filePath(QStringLiteral("photo.") + suffix)));
    window = std::make_unique<MainWindow>(&notifier);
}

void BenchLogo::cleanupTestCase()
{
    window.reset();
    folder.reset();
    QVERIFY(notifier.isEmpty());
}

void BenchLogo::rasterAndFrames()
{
    const QImage picture =
        logoLikePicture(600, 200, 3).convertToFormat(QImage::Format_Mono, Qt::MonoOnly);
    QByteArray frame;
    QBENCHMARK
    {
        const LogoRaster raster = encodeLogoRaster(picture, 100, 100);
        frame = buildFrameTemplate(LogoPlacement::Header);
        for (int row = 1; row <= raster.lineCount; ++row)
            fillFrameRow(frame, row, raster.lineCount, raster.hex);
    }
    QCOMPARE(frame.at(9), '1');
}

void BenchLogo::pictureFormats()
{
    QTest::addColumn<QString>("path");
    for (const char *suffix : {"png", "bmp"})
        QTest::newRow(suffix) << folder->filePath(QStringLiteral("photo.") + suffix);
}

void BenchLogo::qtReadAndConvert_data()
{
    pictureFormats();
}

void BenchLogo::qtReadAndConvert()
{
    QFETCH(QString, path);
    QImage mono;
    QBENCHMARK
    {
        mono = QImage(path).convertToFormat(QImage::Format_Mono, Qt::MonoOnly);
    }
    QCOMPARE(mono.size(), QSize(4000, 3000));
}

void BenchLogo::windowLoadFile_data()
{
    pictureFormats();
}

void BenchLogo::windowLoadFile()
{
    QFETCH(QString, path);
    MainWindowTester t(*window);
    bool loaded = false;
    QBENCHMARK
    {
        loaded = t.loadFile(path);
    }
    QVERIFY(loaded);
}

void BenchLogo::previewUpdate_data()
{
    QTest::addColumn<int>("scaleX");
    QTest::addColumn<int>("scaleY");
    QTest::newRow("100/100") << 100 << 100;
    QTest::newRow("60/80") << 60 << 80;
}

void BenchLogo::previewUpdate()
{
    QFETCH(int, scaleX);
    QFETCH(int, scaleY);
    MainWindowTester t(*window);
    QVERIFY(t.loadFile(folder->filePath(QStringLiteral("photo.png"))));
    t.sliderX()->setValue(scaleX);
    t.sliderY()->setValue(scaleY);
    QBENCHMARK
    {
        t.updatePreview();
    }
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    configureApplication(app);
    BenchLogo bench;
    return QTest::qExec(&bench, argc, argv);
}

#include "bench_logo.moc"
