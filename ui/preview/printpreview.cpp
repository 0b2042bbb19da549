#include "ui/preview/printpreview.h"

#include "core/logo/greylevels.h"
#include "core/product.h"
#include "core/notifier.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <QStandardPaths>
#include <QStyle>
#include <QVBoxLayout>

namespace {

constexpr int outline = 1;

} // namespace

PrintCanvas::PrintCanvas(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PrintCanvas::setPicture(const QImage &rasterPicture)
{
    picture = rasterPicture;
    update();
}

void PrintCanvas::setZoom(int zoom)
{
    scale = std::clamp(zoom, 1, 4);
    setFixedSize(sizeHint());
    update();
}

QSize PrintCanvas::sizeHint() const
{
    return {logoWidthDots * scale + 2 * outline, logoMaxRows * scale + 2 * outline};
}

void PrintCanvas::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect area(outline, outline, logoWidthDots * scale, logoMaxRows * scale);
    painter.fillRect(rect(), palette().window());
    painter.fillRect(area, Qt::white);
    const int rows = picture.isNull() ? 0 : picture.height();
    // Rows past the logo are not sent: the printer holds only the logo's rows.
    const QRect unused(area.left(), area.top() + rows * scale, area.width(),
                       (logoMaxRows - rows) * scale);
    if (!unused.isEmpty())
        painter.fillRect(unused, QBrush(QColor(200, 200, 200), Qt::BDiagPattern));
    if (rows > 0)
        painter.drawImage(QRect(area.topLeft(), QSize(logoWidthDots * scale, rows * scale)),
                          picture);
    painter.setPen(QColor(90, 90, 90));
    painter.drawRect(area.adjusted(-outline, -outline, 0, 0));
    painter.end();
    emit painted();
}

PrintPreview::PrintPreview(Notifier *notifier, QWidget *parent)
    : QWidget(parent, Qt::Window), notifier(notifier)
{
    setObjectName(QStringLiteral("printPreview"));
    setWindowTitle(QStringLiteral("Podgląd wydruku"));

    methodBox = new QComboBox;
    methodBox->setObjectName(QStringLiteral("methodBox"));
    methodBox->addItem(QStringLiteral("Rozpraszanie błędu"), int(Dither::Diffusion));
    methodBox->addItem(QStringLiteral("Próg"), int(Dither::Threshold));
    methodBox->addItem(QStringLiteral("Atkinson"), int(Dither::Atkinson));
    methodBox->setToolTip(QStringLiteral(
        "Rozpraszanie błędu i Atkinson dla zdjęć, Próg dla napisów, rysunków i logo"));
    levelSlider = new QSlider(Qt::Horizontal);
    levelSlider->setObjectName(QStringLiteral("levelSlider"));
    levelSlider->setRange(1, 254);
    levelSlider->setValue(128);
    levelSlider->setToolTip(QStringLiteral("Punkty ciemniejsze od progu drukują się na czarno"));
    levelValueLabel = new QLabel(QStringLiteral("128"));
    levelValueLabel->setObjectName(QStringLiteral("levelValueLabel"));
    levelValueLabel->setMinimumWidth(levelValueLabel->fontMetrics().horizontalAdvance("0000"));
    autoLevelCheck = new QCheckBox(QStringLiteral("Automatyczny"));
    autoLevelCheck->setObjectName(QStringLiteral("autoLevelCheck"));
    autoLevelCheck->setToolTip(
        QStringLiteral("Próg dobrany do obrazu (metoda Otsu); suwak progu nadal go zmienia"));
    brightnessSlider = new QSlider(Qt::Horizontal);
    brightnessSlider->setObjectName(QStringLiteral("brightnessSlider"));
    brightnessSlider->setRange(darkestBrightness, lightestBrightness);
    brightnessSlider->setPageStep(10);
    brightnessSlider->setToolTip(
        QStringLiteral("W lewo ciemniej, w prawo jaśniej; 0 zostawia obraz bez zmian"));
    brightnessValueLabel = new QLabel(QStringLiteral("0"));
    brightnessValueLabel->setObjectName(QStringLiteral("brightnessValueLabel"));
    brightnessValueLabel->setMinimumWidth(
        brightnessValueLabel->fontMetrics().horizontalAdvance("-0000"));
    zoomBox = new QComboBox;
    zoomBox->setObjectName(QStringLiteral("zoomBox"));
    for (int zoom = 1; zoom <= 4; ++zoom)
        zoomBox->addItem(QStringLiteral("%1x").arg(zoom), zoom);
    zoomBox->setCurrentIndex(1);

    auto *controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Konwersja:")));
    controls->addWidget(methodBox);
    controls->addWidget(levelSlider, 1);
    controls->addWidget(levelValueLabel);
    controls->addWidget(autoLevelCheck);
    controls->addSpacing(16);
    controls->addWidget(new QLabel(QStringLiteral("Jasność:")));
    controls->addWidget(brightnessSlider, 1);
    controls->addWidget(brightnessValueLabel);
    controls->addSpacing(16);
    controls->addWidget(new QLabel(QStringLiteral("Powiększenie:")));
    controls->addWidget(zoomBox);

    canvas = new PrintCanvas;
    canvas->setObjectName(QStringLiteral("printCanvas"));
    scroll = new QScrollArea;
    scroll->setWidget(canvas);
    scroll->setAlignment(Qt::AlignCenter);

    sizeLabel = new QLabel;
    sizeLabel->setObjectName(QStringLiteral("sizeLabel"));
    framesLabel = new QLabel;
    framesLabel->setObjectName(QStringLiteral("framesLabel"));
    placementLabel = new QLabel;
    placementLabel->setObjectName(QStringLiteral("placementLabel"));
    auto *facts = new QHBoxLayout;
    facts->addWidget(sizeLabel);
    facts->addSpacing(16);
    facts->addWidget(framesLabel);
    facts->addSpacing(16);
    facts->addWidget(placementLabel);
    facts->addStretch(1);

    auto *fitButton = new QPushButton(QStringLiteral("Dopasuj proporcje"));
    fitButton->setObjectName(QStringLiteral("fitButton"));
    fitButton->setToolTip(
        QStringLiteral("Ustawia skalowanie tak, by logo zachowało proporcje obrazu"));
    savePngButton = new QPushButton(QStringLiteral("Zapisz jako PNG..."));
    savePngButton->setObjectName(QStringLiteral("savePngButton"));
    auto *closeButton = new QPushButton(QStringLiteral("Zamknij"));
    closeButton->setObjectName(QStringLiteral("closeButton"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(fitButton);
    buttons->addWidget(savePngButton);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(scroll, 1);
    layout->addLayout(facts);
    layout->addLayout(buttons);

    connect(methodBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &PrintPreview::conversionEdited);
    connect(levelSlider, &QSlider::valueChanged, this, [this] {
        // A level moved by hand takes over from the automatic one.
        if (!settingControls) {
            settingControls = true;
            autoLevelCheck->setChecked(false);
            settingControls = false;
        }
        conversionEdited();
    });
    connect(autoLevelCheck, &QCheckBox::toggled, this, &PrintPreview::conversionEdited);
    connect(brightnessSlider, &QSlider::valueChanged, this, &PrintPreview::conversionEdited);
    connect(zoomBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &PrintPreview::zoomChosen);
    connect(fitButton, &QPushButton::clicked, this, &PrintPreview::fitRequested);
    connect(savePngButton, &QPushButton::clicked, this, &PrintPreview::choosePngFile);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    setConversion({});
    zoomChosen();
}

void PrintPreview::zoomChosen()
{
    canvas->setZoom(zoomBox->currentData().toInt());
    // The window grows with the zoom as far as the screen allows; beyond that it scrolls.
    const QSize whole = canvas->sizeHint() + QSize(4, 4) * scroll->frameWidth();
    const QSize room = (screen() ? screen()->availableGeometry().size() : whole) - QSize(60, 220);
    QSize shown = whole.boundedTo(room);
    // A horizontal scroll bar takes its height from the rows.
    if (shown.width() < whole.width())
        shown.rheight() += style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    scroll->setMinimumSize(shown);
    adjustSize();
}

void PrintPreview::showRaster(const LogoRaster &raster, int widthDots, LogoPlacement placement)
{
    picture = rasterPicture(raster);
    canvas->setPicture(picture);
    const bool empty = raster.lineCount == 0;
    sizeLabel->setText(
        empty ? QStringLiteral("Logo w tej skali jest puste")
              : QStringLiteral("Logo: %1 x %2 punktów").arg(widthDots).arg(raster.lineCount));
    framesLabel->setText(QStringLiteral("Ramki: %1, bajty: %2")
                             .arg(raster.lineCount)
                             .arg(raster.lineCount * ::frameSize));
    placementLabel->setText(QStringLiteral("Miejsce: ") + (placement == LogoPlacement::Header
                                                               ? QStringLiteral("Nagłówek")
                                                               : QStringLiteral("Stopka")));
    savePngButton->setEnabled(!empty);
}

void PrintPreview::setConversion(const Conversion &conversion)
{
    settingControls = true;
    methodBox->setCurrentIndex(methodBox->findData(int(conversion.method)));
    levelSlider->setValue(conversion.level);
    levelValueLabel->setText(QString::number(levelSlider->value()));
    const bool threshold = conversion.method == Dither::Threshold;
    levelSlider->setEnabled(threshold);
    levelValueLabel->setEnabled(threshold);
    autoLevelCheck->setChecked(conversion.autoLevel);
    autoLevelCheck->setEnabled(threshold);
    brightnessSlider->setValue(conversion.brightness);
    const int brightness = brightnessSlider->value();
    brightnessValueLabel->setText(brightness > 0 ? QStringLiteral("+%1").arg(brightness)
                                                 : QString::number(brightness));
    settingControls = false;
}

void PrintPreview::conversionEdited()
{
    if (settingControls)
        return;
    Conversion conversion;
    conversion.method = Dither(methodBox->currentData().toInt());
    conversion.level = levelSlider->value();
    conversion.autoLevel = autoLevelCheck->isChecked();
    conversion.brightness = brightnessSlider->value();
    setConversion(conversion);
    emit conversionChosen(conversion);
}

bool PrintPreview::savePng(const QString &path)
{
    return !picture.isNull() && picture.save(path, "PNG");
}

void PrintPreview::choosePngFile()
{
    const QStringList folders = QStandardPaths::standardLocations(QStandardPaths::PicturesLocation);
    const QString folder = folders.isEmpty() || !QDir(folders.first()).exists()
                               ? QDir::currentPath()
                               : folders.first();
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Zapisz jako PNG"), QDir(folder).filePath(QStringLiteral("logo.png")),
        QStringLiteral("Obraz PNG (*.png)"));
    if (path.isEmpty() || savePng(path))
        return;
    notifier->critical(
        productName(),
        QStringLiteral("Nie można zapisać pliku %1.").arg(QDir::toNativeSeparators(path)));
}
