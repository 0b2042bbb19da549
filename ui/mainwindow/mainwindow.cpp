#include "ui/mainwindow/mainwindow.h"

#include "core/product.h"
#include "ui/messageboxnotifier.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPort>
#include <QSlider>
#include <QTcpSocket>
#include <QTimer>
#include <QVBoxLayout>

namespace {


QPixmap blankMonoPixmap(int width, int height)
{
    QImage placeholder(width, height, QImage::Format_Mono);
    placeholder.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    placeholder.fill(0);
    return QPixmap::fromImage(placeholder);
}

template <typename Widget> Widget *named(Widget *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QHBoxLayout *row(std::initializer_list<QWidget *> widgets)
{
    auto *layout = new QHBoxLayout;
    for (QWidget *widget : widgets)
        layout->addWidget(widget);
    return layout;
}

} // namespace

MainWindow::MainWindow(Notifier *notifier, QWidget *parent)
    : QMainWindow(parent), ownNotifier(notifier ? nullptr : new MessageBoxNotifier(this)),
      notifier(notifier ? notifier : ownNotifier.get())
{
    buildWindow();

    linkSettings.serialPort = new QSerialPort;
    connect(linkSettings.serialPort, SIGNAL(readyRead()), this, SLOT(readComData()));
    connect(linkSettings.serialPort, &QSerialPort::errorOccurred, this,
            &MainWindow::serialPortError);

    currentLine = 0;
    lineCount = 0;
    linkSettings.linkMode = 0;
    linkSettings.chosenLinkMode = 0;
    linkSettings.comPortChosen = true;
    linkSettings.comPortOpen = false;

    loadSettings();
    loadConversion();
    reloadImage();
    syncingSliders = false;
    openLink();
    setWindowTitle(productName());

    // The desktop session ends: it may not wait for the window to close.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { saveSettings(); });

    statusTimer = new QTimer(this);
    connect(statusTimer, SIGNAL(timeout()), this, SLOT(InterwalCzasowy()));
    statusTimer->start(1000);
}

void MainWindow::buildWindow()
{
    edgeLabel = named(new QLabel, "edgeLabel");
    edgeLabel->resize(832, 192);
    edgeLabel->setBackgroundRole(QPalette::Base);
    edgeLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    edgeLabel->setPixmap(blankMonoPixmap(1, 192));

    previewLabel = named(new QLabel, "previewLabel");
    previewLabel->resize(416, 192);
    previewLabel->setAlignment(Qt::AlignCenter);
    previewLabel->setPixmap(blankMonoPixmap(416, 192));
    previewLabel->setToolTip(
        QStringLiteral("Miniatura obrazu, nie wydruk. To, co zapisze drukarka, pokazuje "
                       "„Podgląd wydruku” w menu Plik (Ctrl+P)."));

    sendButton = named(new QPushButton(QStringLiteral("Wyślij")), "sendButton");
    sendButton->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
    sendButton->setEnabled(false);
    cancelButton = named(new QPushButton(QStringLiteral("Przerwij")), "cancelButton");
    connect(sendButton, SIGNAL(clicked()), this, SLOT(send()));
    connect(cancelButton, SIGNAL(clicked()), this, SLOT(cancel()));

    progressBar = named(new QProgressBar, "progressBar");
    progressBar->setRange(0, 96);
    progressBar->setToolTip(QStringLiteral("Postęp w wysyłaniu pliku"));
    sendingLabel = named(new QLabel(QStringLiteral("Wysyłanie")), "sendingLabel");

    sliderX = named(new QSlider(Qt::Horizontal), "sliderX");
    sliderY = named(new QSlider(Qt::Horizontal), "sliderY");
    for (QSlider *slider : {sliderX, sliderY}) {
        slider->setMaximum(100);
        slider->setMinimum(0);
    }

    scaleXLabel = named(new QLabel(QStringLiteral("Skalowanie osi X")), "scaleXLabel");
    scaleXValueLabel = named(new QLabel(QStringLiteral("100%")), "scaleXValueLabel");
    scaleYLabel = named(new QLabel(QStringLiteral("Skalowanie osi Y")), "scaleYLabel");
    scaleYValueLabel = named(new QLabel(QStringLiteral("100%")), "scaleYValueLabel");
    const QFont captionFont(QStringLiteral("Courier New"), 9, QFont::Bold, false);
    for (QLabel *label : {scaleXLabel, scaleXValueLabel, scaleYLabel, scaleYValueLabel}) {
        label->setFont(captionFont);
        label->setStyleSheet(QStringLiteral("color: black"));
    }

    keepProportionsCheck =
        named(new QCheckBox(QStringLiteral("Zachowaj proporcje")), "keepProportionsCheck");
    keepProportionsCheck->setToolTip(QStringLiteral("Jednoczesne skalowanie w osi X i Y"));
    keepProportionsCheck->setChecked(false);

    statusLabel =
        named(new QLabel(QStringLiteral("Drukarka KELM Qarto 3 Niepodłączona")), "statusLabel");
    statusLabel->setStyleSheet(QStringLiteral("color: red"));

    placementGroup = named(new QButtonGroup(this), "placementGroup");
    placementGroup->setExclusive(true);
    headerRadio = named(new QRadioButton(QStringLiteral("Nagłówek")), "headerRadio");
    headerRadio->setChecked(true);
    footerRadio = named(new QRadioButton(QStringLiteral("Stopka")), "footerRadio");
    placementGroup->addButton(headerRadio);
    placementGroup->addButton(footerRadio);

    // The edge label stands right of the preview, and the Y slider on a row of
    // its own under the Y captions.
    auto *previewWidget = named(new QWidget, "previewWidget");
    auto *previewLayout = new QHBoxLayout;
    previewLayout->addWidget(previewLabel, 16);
    previewLayout->addWidget(edgeLabel, 16);
    previewWidget->setLayout(previewLayout);

    auto *mainLayout = new QVBoxLayout;
    mainLayout->addLayout(row({headerRadio, footerRadio}));
    mainLayout->addWidget(previewWidget);
    mainLayout->addLayout(row({sendButton, cancelButton}));
    mainLayout->addLayout(row({sendingLabel, progressBar}));
    mainLayout->addLayout(row({sliderX, scaleXLabel, scaleXValueLabel}));
    mainLayout->addLayout(row({scaleYLabel, scaleYValueLabel}));
    mainLayout->addWidget(sliderY);
    mainLayout->addLayout(row({keepProportionsCheck, statusLabel}));
    auto *central = named(new QWidget, "centralWidget");
    central->setLayout(mainLayout);
    setCentralWidget(central);

    connect(sliderX, SIGNAL(valueChanged(int)), this, SLOT(resizeX(int)));
    connect(sliderY, SIGNAL(valueChanged(int)), this, SLOT(resizeY(int)));
    sliderX->setValue(100);
    sliderY->setValue(100);
    // After the handlers above, so that a mirrored pair of moves redraws the
    // print preview once, with both values in place.
    for (QSlider *slider : {sliderX, sliderY})
        connect(slider, &QSlider::valueChanged, this, [this] {
            if (!syncingSliders)
                refreshPrintPreview();
        });
    connect(headerRadio, &QRadioButton::toggled, this, [this] { refreshPrintPreview(); });

    openAction = named(new QAction(QStringLiteral("&Otwórz plik..."), this), "openAction");
    openAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
    connect(openAction, SIGNAL(triggered()), this, SLOT(open()));
    exitAction = named(new QAction(QStringLiteral("&Wyjście"), this), "exitAction");
    exitAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+W")));
    connect(exitAction, SIGNAL(triggered()), this, SLOT(close()));
    settingsAction = named(new QAction(QStringLiteral("&Ustawienia"), this), "settingsAction");
    settingsAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+U")));
    connect(settingsAction, SIGNAL(triggered()), this, SLOT(settings()));
    aboutAction = named(new QAction(QStringLiteral("O programie"), this), "aboutAction");
    connect(aboutAction, SIGNAL(triggered(bool)), this, SLOT(about()));

    fileMenu = named(new QMenu(QStringLiteral("&Plik"), this), "fileMenu");
    printPreviewAction =
        named(new QAction(QStringLiteral("Podgląd wydruku..."), this), "printPreviewAction");
    printPreviewAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+P")));
    connect(printPreviewAction, &QAction::triggered, this, [this] { showPrintPreview(); });
    fitProportionsAction =
        named(new QAction(QStringLiteral("Dopasuj proporcje"), this), "fitProportionsAction");
    connect(fitProportionsAction, &QAction::triggered, this, [this] { fitPictureProportions(); });

    fileMenu->addAction(openAction);
    fileMenu->addAction(printPreviewAction);
    fileMenu->addAction(fitProportionsAction);
    fileMenu->addSeparator();
    fileMenu->addAction(exitAction);
    menuBar()->addMenu(fileMenu);
    menuBar()->addAction(settingsAction);
    menuBar()->addAction(aboutAction);
}

MainWindow::~MainWindow()
{
    saveSettings();
    saveConversion();
    delete linkSettings.serialPort;
    releaseTcpPrinters(Release::Now);
}

void MainWindow::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    menu.addAction(openAction);
    menu.addAction(printPreviewAction);
    menu.addAction(exitAction);
    menu.exec(event->globalPos());
}

void MainWindow::about()
{
    notifier->about(QStringLiteral("O programie"),
                    productName() + QLatin1Char(' ') + productVersion() +
                        QStringLiteral("\n\nProgram zapisuje logo w nagłówku lub "
                                   "stopce drukarek paragonowych KELM Qarto 3, przez port COM "
                                   "lub przez sieć TCP/IP."));
}

void MainWindow::enableSendIfReady()
{
    if (!image.isNull() && linkSettings.linkMode != 0)
        sendButton->setEnabled(true);
}

void MainWindow::on_pushButton_clicked() {}

void MainWindow::on_pushButton_2_clicked() {}

void MainWindow::on_MainWindow_destroyed()
{
    delete statusTimer;
    statusTimer = nullptr;
    linkSettings.serialPort->close();
    const int count = std::min(linkSettings.printerCount, int(linkSettings.tcpSockets.size()));
    for (int i = 0; i < count; ++i)
        linkSettings.tcpSockets.at(i)->abort();
}
