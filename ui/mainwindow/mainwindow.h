#pragma once

#include "core/config/comports.h"
#include "core/config/linksettings.h"
#include "core/logo/logoconversion.h"
#include "core/transfer/timing.h"
#include "core/transfer/journal.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QPixmap>
#include <QPointer>
#include <QSerialPort>
#include <QString>

#include <memory>

class Connection;
class Notifier;
class PrintPreview;
class ProgressThrottle;
class QAction;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QTcpSocket;
class QTimer;

// The program's one window. It owns all state for the whole run: the link and the
// printer table, the picture, the encoded logo, the frame and the widgets.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Messages for the operator go through `notifier`; without one the window
    // shows real message boxes.
    explicit MainWindow(Notifier *notifier = nullptr, QWidget *parent = nullptr);
    ~MainWindow() override;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private slots:
    void open();
    void settings();
    void about();
    void readComData();
    void send();
    void resizeX(int value);
    void resizeY(int value);
    void cancel();
    void on_pushButton_clicked();
    void on_pushButton_2_clicked();
    void on_MainWindow_destroyed();
    void InterwalCzasowy();

    // The serial port reports that its device went away.
    void serialPortError(QSerialPort::SerialPortError error);

private:
    friend class MainWindowTester;

    void buildWindow();
    void enableSendIfReady();

    // Picture and preview.
    bool loadFile(const QString &path);
    void reloadImage();
    void showPicture(const QImage &picture);
    void updatePreview();
    void scaleChanged(int value, QLabel *valueLabel, QSlider *otherSlider);
    // The raster "Wyślij" sends now; the print preview and, but for the default
    // conversion, the window's picture draw the same. The automatic level it
    // finds becomes conversion.level.
    LogoRaster currentRaster();
    // `image` at the chosen "Jasność", when it was dithered at another.
    void ditherAtBrightness();
    void showPrintPreview();
    void refreshPrintPreview();
    void fitPictureProportions();
    void setConversion(const Conversion &chosen);
    void loadConversion();
    void saveConversion();

    // Settings file.
    void loadSettings();
    void saveSettings();

    // Link and transfer.
    void openLink();
    void sendCurrentLine();
    void checkSerialReply();
    // The serial answer awaited: said beside the bar once silent too long, and
    // given up after the stop grace once "Przerwij" was pressed.
    void watchSerialAnswer();
    void checkSerialSilence();
    void serialTransferEnded();
    void showProgress(int value, bool now = false);
    void openTcpLink();
    // Aborts the printers still connecting and tells them in one box.
    void giveUpConnecting(const QList<QPair<QPointer<QTcpSocket>, QString>> &sockets);
    void startTcpPrinters();
    void runTcpProgress();
    void cancelTcpPrinters();
    // The TCP/IP fan-out's own.
    enum class Release
    {
        Later,
        Now
    };
    void releaseTcpPrinters(Release when);
    Notifier *connectionNotifier();
    void dropGoneSerialPort();
    // Boxes about the serial printer: never inside the port's notification, and
    // one at a time (another one meanwhile is not shown).
    void notifySerial(const QString &title, const QString &text);
    bool reopenSerialPort();

    // The journal of what each printer holds: every printer's end goes in; a
    // send that would pass a printer's daily write budget asks first.
    Journal *sendJournal();
    bool confirmWriteBudget();
    void journalEnd(const QString &name, const QString &address, quint16 port,
                    PrinterOutcome outcome, int rowsSent);

    // Link status.
    void closeLink();
    void disconnectTcpPrinters();

    // Settings dialog: where the COM ports come from, and the sockets its
    // entries no longer hold.
    void releaseDroppedSockets(const QList<QTcpSocket *> &before, const QList<QTcpSocket *> &added);
    ComPortFinder findComPorts = availableComPorts;

    std::unique_ptr<Notifier> ownNotifier;
    Notifier *notifier;
    // Boxes about one printer have no parent window.
    std::unique_ptr<Notifier> ownConnectionNotifier;
    ProgressThrottle *progressThrottle = nullptr;
    // How long a printer may stay silent before its row, or the serial bar, says so.
    int answerTimeoutMs = Timing::answerTimeoutMs;
    // How long a TCP/IP printer may take to connect, at the link and on a retry.
    int connectTimeoutMs = Timing::connectTimeoutMs;

    LinkSettings linkSettings;
    QTimer *statusTimer = nullptr;
    QList<Connection *> connections;
    QAction *openAction = nullptr;
    QAction *exitAction = nullptr;
    QAction *settingsAction = nullptr;
    QAction *aboutAction = nullptr;
    QString imagePath;
    QImage image;
    QPixmap previewPixmap;
    QMenu *fileMenu = nullptr;
    QPushButton *sendButton = nullptr;
    QPushButton *cancelButton = nullptr;
    QProgressBar *progressBar = nullptr;
    QByteArray logoHex;
    QByteArray frameTemplate;
    QByteArray lastReply;
    QLabel *edgeLabel = nullptr;
    QLabel *previewLabel = nullptr;
    QLabel *scaleXLabel = nullptr;
    QLabel *scaleYLabel = nullptr;
    QLabel *scaleXValueLabel = nullptr;
    QLabel *scaleYValueLabel = nullptr;
    QLabel *statusLabel = nullptr;
    QLabel *sendingLabel = nullptr;
    QSlider *sliderX = nullptr;
    QSlider *sliderY = nullptr;
    QCheckBox *keepProportionsCheck = nullptr;
    QButtonGroup *placementGroup = nullptr;
    QRadioButton *headerRadio = nullptr;
    QRadioButton *footerRadio = nullptr;
    bool syncingSliders = false;
    int currentLine = 0;
    int lineCount = 0;
    bool readingSerial = false;
    bool serialBoxDue = false;
    std::unique_ptr<Journal> journal;
    QByteArray sentFingerprint;
    bool journalFailureTold = false;
    // The serial frame on the wire and how this transfer's answers went.
    QTimer *serialWatch = nullptr;
    QTimer *serialStopTimer = nullptr;
    QElapsedTimer serialWritten;
    bool serialAwaited = false;
    bool serialSilent = false;
    bool serialStopping = false;
    bool serialUnconfirmed = false;
    bool serialHeldLogo = false;
    int serialAcked = 0; // rows acknowledged in this transfer

    // The picture as read, kept so that another conversion starts from it; what
    // Threshold and Atkinson scale from; and the print preview.
    QImage picture;
    QImage reducedPicture;
    Conversion conversion;
    int imageBrightness = 0; // the brightness `image` was dithered at
    QImage pictureGrey;      // what another brightness is dithered from
    QAction *printPreviewAction = nullptr;
    QAction *fitProportionsAction = nullptr;
    PrintPreview *printPreview = nullptr;
};
