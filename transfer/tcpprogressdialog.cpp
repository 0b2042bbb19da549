#include "transfer/tcpprogressdialog.h"

#include "config/linksettings.h"
#include "transfer/progressthrottle.h"
#include "ui_tcpprogressdialog.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

TcpProgressDialog::TcpProgressDialog(LinkSettings *settings, QWidget *parent)
    : QDialog(parent), ui(new Ui::TcpProgressDialog), throttle(new ProgressThrottle(this))
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Wysyłanie danych TCP/IP"));

    auto *layout = new QVBoxLayout;
    // The rows scroll once there are more than the screen holds, so that the two
    // buttons below them stay in reach. They sit in blocks: painting a widget
    // walks the siblings stacked above it, and a thousand rows side by side made
    // every bar's paint cost a thousand steps.
    constexpr int rowsPerBlock = 32;
    auto *rows = new QWidget;
    auto *rowsLayout = new QVBoxLayout(rows);
    // Room between the row buttons and the scroll bar.
    rowsLayout->setContentsMargins(0, 0, rowsLayout->spacing(), 0);
    QVBoxLayout *blockLayout = nullptr;
    const int rowCount = settings ? settings->tcpSockets.size() : 0;
    for (int i = 0; i < rowCount; ++i) {
        if (i % rowsPerBlock == 0) {
            auto *block = new QWidget;
            blockLayout = new QVBoxLayout(block);
            blockLayout->setContentsMargins(0, 0, 0, 0);
            rowsLayout->addWidget(block);
        }
        auto *row = new QHBoxLayout;
        row->addWidget(new QLabel(settings->printerNames.value(i)));
        auto *bar = new QProgressBar;
        progressBars.append(bar);
        throttle->addBar(bar);
        row->addWidget(bar);
        auto *cancel = new QPushButton(QStringLiteral("przerwij"));
        cancelButtons.append(cancel);
        row->addWidget(cancel);
        blockLayout->addLayout(row);
    }
    rowsLayout->addStretch();

    auto *scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(rows);
    const QSize wanted = rows->sizeHint();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const int roomy = screen ? screen->availableGeometry().height() * 2 / 3 : 600;
    scroll->setMinimumHeight(std::min(wanted.height(), std::max(roomy, 100)));
    scroll->setMinimumWidth(wanted.width() + scroll->verticalScrollBar()->sizeHint().width());
    layout->addWidget(scroll);

    cancelAllButton = new QPushButton(QStringLiteral("Przerwij wszystko"));
    closeButton = new QPushButton(QStringLiteral("Zamknij"));
    closeButton->setEnabled(false);
    connect(cancelAllButton, SIGNAL(clicked()), this, SLOT(ableToClose()));
    connect(closeButton, SIGNAL(clicked()), this, SLOT(close()));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cancelAllButton);
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);
    setLayout(layout);
}

TcpProgressDialog::~TcpProgressDialog()
{
    cancelButtons.clear();
    delete cancelAllButton;
    delete ui;
}

void TcpProgressDialog::showValue(int row, int value)
{
    throttle->setValue(row, value);
}

void TcpProgressDialog::ableToClose()
{
    closeButton->setEnabled(true);
}

void TcpProgressDialog::isAbleToClose()
{
    ++finishedCount;
    if (finishedCount == progressBars.size())
        closeButton->setEnabled(true);
}
