#pragma once

#include "core/transfer/connection.h"
#include "support/modalanswerer.h"
#include "ui/mainwindow/mainwindow.h"
#include "ui/preview/printpreview.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

// Acts on the main window as the operator does (its widgets by their object
// names, its menu commands), and reaches the state and private operations that
// no widget shows or starts.
class MainWindowTester
{
public:
    explicit MainWindowTester(MainWindow &window) : w(window) {}

    template <typename Widget> Widget *child(const char *name)
    {
        return w.findChild<Widget *>(QLatin1String(name));
    }
    QSlider *sliderX() { return child<QSlider>("sliderX"); }
    QSlider *sliderY() { return child<QSlider>("sliderY"); }

    // "&Otwórz plik..." with `path` typed into the file dialog; false if the
    // dialog came back, as it does for a file that cannot be read.
    bool openPicture(const QString &path)
    {
        ModalAnswerer answerer([&](QWidget *modal) {
            auto *files = qobject_cast<QFileDialog *>(modal);
            if (!files || answered) {
                static_cast<QDialog *>(modal)->reject();
                return;
            }
            answered = true;
            files->selectFile(path);
            files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
            static_cast<QDialog *>(files)->accept(); // QFileDialog::accept is protected
        });
        answered = false;
        child<QAction>("openAction")->trigger();
        return answerer.answered == 1;
    }
    // "Wyślij", which must be on.
    void send()
    {
        auto *button = child<QPushButton>("sendButton");
        if (!button->isEnabled())
            QTest::qFail("\"Wyślij\" is off", __FILE__, __LINE__);
        button->click();
    }
    // What "Wyślij" does, in a state where the button is off.
    void sendWhileOff() { w.send(); }
    void cancel() { child<QPushButton>("cancelButton")->click(); }
    // What the file dialog's choice does, without the dialog (for measurements).
    bool loadFile(const QString &path) { return w.loadFile(path); }
    void showPicture(const QImage &picture) { w.showPicture(picture); }
    void updatePreview() { w.updatePreview(); }

    LinkSettings &linkSettings() { return w.linkSettings; }
    QString &imagePath() { return w.imagePath; }
    QImage &image() { return w.image; }
    QPixmap &previewPixmap() { return w.previewPixmap; }
    QByteArray &logoHex() { return w.logoHex; }
    QByteArray &frameTemplate() { return w.frameTemplate; }
    QByteArray &lastReply() { return w.lastReply; }
    int &currentLine() { return w.currentLine; }
    int &lineCount() { return w.lineCount; }
    int &answerTimeoutMs() { return w.answerTimeoutMs; }
    int &connectTimeoutMs() { return w.connectTimeoutMs; }

    void enableSendIfReady() { w.enableSendIfReady(); }
    void openLink() { w.openLink(); }
    void statusTick() { w.InterwalCzasowy(); }
    void closeLink() { w.closeLink(); }
    void disconnectTcpPrinters() { w.disconnectTcpPrinters(); }
    QList<Connection *> &connections() { return w.connections; }
    void saveSettings() { w.saveSettings(); }

    ComPortFinder &findComPorts() { return w.findComPorts; }

    Conversion &conversion() { return w.conversion; }
    // The raster "Wyślij" would send now.
    LogoRaster currentRaster() { return w.currentRaster(); }
    // Opened through its menu command.
    PrintPreview *printPreview()
    {
        if (!w.printPreview || !w.printPreview->isVisible())
            child<QAction>("printPreviewAction")->trigger();
        return w.printPreview;
    }
    // The conversion, chosen in the print preview.
    void chooseConversion(const Conversion &chosen)
    {
        PrintPreview *preview = printPreview();
        auto *box = preview->findChild<QComboBox *>(QStringLiteral("methodBox"));
        box->setCurrentIndex(box->findData(int(chosen.method)));
        preview->findChild<QSlider *>(QStringLiteral("levelSlider"))->setValue(chosen.level);
    }

private:
    MainWindow &w;
    bool answered = false;
};
