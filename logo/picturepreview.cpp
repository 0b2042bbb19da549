// Opening a picture, its 1-bit conversion and the preview that follows the sliders.
#include "app/mainwindow.h"

#include "app/notifier.h"
#include "logo/picturereader.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
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
        notifier->information(QStringLiteral("Kelm Graphics"),
                              QStringLiteral("Cannot load %1.").arg(QDir::toNativeSeparators(path)));
        edgeLabel->setPixmap(QPixmap());
        return false;
    }
    setWindowTitle(QStringLiteral("Kelm Graphics") + QStringLiteral("0.1") + path);
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
    const QImage mono = picture.convertToFormat(QImage::Format_Mono, Qt::MonoOnly);
    previewPixmap = QPixmap::fromImage(
        mono.scaled(285, 192, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    image = mono;
    updatePreview();
    enableSendIfReady();
}

void MainWindow::updatePreview()
{
    const QTransform scale = QTransform::fromScale(sliderX->value() / 100.0,
                                                   sliderY->value() / 100.0);
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
