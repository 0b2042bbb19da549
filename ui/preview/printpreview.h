#pragma once

#include "core/logo/logoconversion.h"
#include "core/printer/frame.h"

#include <QImage>
#include <QWidget>

class Notifier;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;

// The 416 x 96 dot logo area at an integer zoom, with the rows the printer will
// hold drawn dot for dot and the area they leave unused hatched.
class PrintCanvas : public QWidget
{
    Q_OBJECT

public:
    explicit PrintCanvas(QWidget *parent = nullptr);
    void setPicture(const QImage &rasterPicture);
    void setZoom(int zoom);
    int zoom() const { return scale; }
    QSize sizeHint() const override;

signals:
    void painted();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage picture;
    int scale = 2;
};

// "Podgląd wydruku": what the printer will hold after "Wyślij". It shows the
// raster it is given and offers the conversion; the main window owns the state.
class PrintPreview : public QWidget
{
    Q_OBJECT

public:
    PrintPreview(Notifier *notifier, QWidget *parent);

    // The raster "Wyślij" would send now, with what the frames make of it.
    void showRaster(const LogoRaster &raster, int widthDots, LogoPlacement placement);
    // Sets the controls without announcing a change.
    void setConversion(const Conversion &conversion);

    // The picture shown, as the printer stores it (a null image when empty).
    const QImage &shownPicture() const { return picture; }
    bool savePng(const QString &path);

signals:
    void conversionChosen(const Conversion &conversion);
    void fitRequested();

private:
    void conversionEdited();
    void zoomChosen();
    void choosePngFile();

    Notifier *notifier;
    QImage picture;
    PrintCanvas *canvas;
    QScrollArea *scroll;
    QComboBox *methodBox;
    QSlider *levelSlider;
    QLabel *levelValueLabel;
    QCheckBox *autoLevelCheck;
    QSlider *brightnessSlider;
    QLabel *brightnessValueLabel;
    QComboBox *zoomBox;
    QLabel *sizeLabel;
    QLabel *framesLabel;
    QLabel *placementLabel;
    QPushButton *savePngButton;
    bool settingControls = false;
};
