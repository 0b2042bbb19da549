// Opening a picture, its 1-bit conversion and the preview that follows the sliders.
#include "ui/mainwindow/mainwindow.h"

#include "core/product.h"
#include "core/logo/conversionfile.h"
#include "core/logo/greylevels.h"
#include "core/logo/picturereader.h"
#include "core/notifier.h"
#include "core/system/safefile.h"
#include "ui/preview/printpreview.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QStandardPaths>
#include <QTransform>

void MainWindow::open()
{
    const QStringList pictureFolders =
        QStandardPaths::standardLocations(QStandardPaths::PicturesLocation);
    // A pictures folder that was never created would be taken as a file name.
    const QString startFolder = pictureFolders.isEmpty() || !QDir(pictureFolders.first()).exists()
                                    ? QDir::currentPath()
                                    : pictureFolders.first();

    QFileDialog dialog(this, QStringLiteral("Open File"), startFolder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    while (dialog.exec() == QDialog::Accepted) {
        const QStringList chosen = dialog.selectedFiles();
        if (!chosen.isEmpty() && loadFile(chosen.first()))
            return;
    }
}

namespace {

// Shows the busy cursor for as long as a picture is read and converted.
class BusyCursor
{
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

// The base of the window's small picture: any 1-bit picture stretched to 285 x 192.
QPixmap thumbnail(const QImage &mono)
{
    if (mono.isNull())
        return {};
    return QPixmap::fromImage(mono.scaled(285, 192, Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

// toOneBit at a brightness; away from neutral from the picture's grey, which
// is kept for the next brightness the operator tries.
QImage oneBitAt(const QImage &picture, QImage &grey, int brightness)
{
    if (brightness == 0)
        return toOneBit(picture);
    if (grey.isNull())
        grey = greyPicture(picture);
    return grey.isNull() ? toOneBit(picture) : ditherGrey(grey, brightness);
}

} // namespace

bool MainWindow::loadFile(const QString &path)
{
    QImage picture;
    {
        BusyCursor busy;
        picture = readPicture(path);
        if (!picture.isNull()) {
            imagePath = path;
            showPicture(picture);
        }
    }
    if (picture.isNull()) {
        // Not the display name: the program sets none, since Qt adds it to every title.
        notifier->information(
            productName(),
            QStringLiteral("Cannot load %1.").arg(QDir::toNativeSeparators(path)));
        edgeLabel->setPixmap(QPixmap());
        return false;
    }
    setWindowTitle(productName() + productVersion() + path);
    return true;
}

void MainWindow::reloadImage()
{
    if (imagePath.isEmpty())
        return;
    BusyCursor busy;
    const QImage picture = readPicture(imagePath);
    if (!picture.isNull())
        showPicture(picture);
}

void MainWindow::showPicture(const QImage &picture)
{
    // Dithered once here; a 1-bit picture keeps its own indices and palette.
    pictureGrey = QImage();
    const QImage mono = oneBitAt(picture, pictureGrey, conversion.brightness);
    previewPixmap = thumbnail(mono);
    image = mono;
    imageBrightness = conversion.brightness;
    this->picture = picture;
    reducedPicture = conversion.method == Dither::Diffusion
                         ? QImage()
                         : preparePicture(picture, conversion).reduced;
    updatePreview();
    enableSendIfReady();
    refreshPrintPreview();
}

void MainWindow::updatePreview()
{
    // Threshold and Atkinson convert at the logo's size: the picture shows the
    // dots sent, stretched as the default's picture is.
    if (conversion.method != Dither::Diffusion && !picture.isNull())
        previewPixmap = thumbnail(placedDots(currentRaster(), sliderX->value()));
    const QTransform scale =
        QTransform::fromScale(sliderX->value() / 100.0, sliderY->value() / 100.0);
    previewLabel->setPixmap(previewPixmap.transformed(scale, Qt::FastTransformation));
}

void MainWindow::resizeX(int value)
{
    scaleChanged(value, scaleXValueLabel, sliderY);
}

void MainWindow::resizeY(int value)
{
    scaleChanged(value, scaleYValueLabel, sliderX);
}

void MainWindow::scaleChanged(int value, QLabel *valueLabel, QSlider *otherSlider)
{
    if (image.isNull() || value == 0)
        return;
    updatePreview();
    valueLabel->setText(QString::asprintf("%3d%%", value));
    // The mirrored change comes back here; it must not mirror again.
    if (syncingSliders || !keepProportionsCheck->isChecked())
        return;
    syncingSliders = true;
    otherSlider->setValue(value);
    syncingSliders = false;
}

void MainWindow::ditherAtBrightness()
{
    // The whole picture is dithered again, but only when its brightness changed.
    if (picture.isNull() || imageBrightness == conversion.brightness)
        return;
    BusyCursor busy;
    image = oneBitAt(picture, pictureGrey, conversion.brightness);
    imageBrightness = conversion.brightness;
}

LogoRaster MainWindow::currentRaster()
{
    // Prepared when the picture or the conversion changes; this only covers a gap.
    if (conversion.method == Dither::Diffusion)
        ditherAtBrightness();
    if (conversion.method != Dither::Diffusion && reducedPicture.isNull())
        reducedPicture = preparePicture(picture, conversion).reduced;
    int level = conversion.level;
    const LogoRaster raster =
        buildLogoRaster(PreparedPicture{image, reducedPicture}, sliderX->value(), sliderY->value(),
                        conversion, &level);
    if (conversion.method == Dither::Threshold && conversion.autoLevel && raster.lineCount > 0)
        conversion.level = level;
    return raster;
}

void MainWindow::showPrintPreview()
{
    if (!printPreview) {
        printPreview = new PrintPreview(notifier, this);
        connect(printPreview, &PrintPreview::conversionChosen, this,
                [this](const Conversion &chosen) { setConversion(chosen); });
        connect(printPreview, &PrintPreview::fitRequested, this,
                [this] { fitPictureProportions(); });
    }
    printPreview->setConversion(conversion);
    if (printPreview->isVisible()) {
        printPreview->raise();
        printPreview->activateWindow();
    }
    printPreview->show();
    refreshPrintPreview();
}

void MainWindow::refreshPrintPreview()
{
    if (!printPreview || !printPreview->isVisible())
        return;
    printPreview->showRaster(
        currentRaster(), std::clamp(sliderX->value(), 0, 100) * logoWidthDots / 100,
        headerRadio->isChecked() ? LogoPlacement::Header : LogoPlacement::Footer);
    // The level control shows the level found.
    if (conversion.autoLevel)
        printPreview->setConversion(conversion);
}

void MainWindow::fitPictureProportions()
{
    if (picture.isNull())
        return;
    const Proportions fit = fitProportions(picture.size());
    // Both values are set here: the lock, whatever its state, must not mirror one
    // onto the other. The box itself stays as it is.
    syncingSliders = true;
    sliderX->setValue(fit.xPercent);
    sliderY->setValue(fit.yPercent);
    syncingSliders = false;
    refreshPrintPreview();
}

void MainWindow::setConversion(const Conversion &chosen)
{
    conversion = chosen;
    conversion.level = std::clamp(conversion.level, 1, 254);
    conversion.brightness =
        std::clamp(conversion.brightness, darkestBrightness, lightestBrightness);
    if (!picture.isNull()) {
        if (conversion.method == Dither::Diffusion) {
            ditherAtBrightness();
            previewPixmap = thumbnail(image);
        } else if (reducedPicture.isNull()) {
            BusyCursor busy;
            reducedPicture = preparePicture(picture, conversion).reduced;
        }
        updatePreview();
    }
    if (printPreview)
        printPreview->setConversion(conversion);
    refreshPrintPreview();
}

namespace {

QString conversionPath()
{
    return QDir::currentPath() + QLatin1Char('/') + QLatin1String(conversionFileName);
}

} // namespace

void MainWindow::loadConversion()
{
    // As settings.txt: a FIFO would block the start, a device never end.
    QByteArray content;
    QString reason;
    if (readSmallFile(conversionPath(), maxInputFileSize, &content, &reason))
        conversion = parseConversionFile(content);
}

void MainWindow::saveConversion()
{
    // No file for those who never chose anything but the default. A FIFO or a
    // device in its place is not written: it would hold up the exit.
    const QString path = conversionPath();
    if ((!QFile::exists(path) && conversion == Conversion()) || !isRegularOrMissing(path))
        return;
    QString reason;
    saveFileAtomically(path, formatConversionFile(conversion), &reason);
}
