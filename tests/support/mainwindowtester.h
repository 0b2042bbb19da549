#pragma once

#include "ui/mainwindow/mainwindow.h"
#include "ui/preview/printpreview.h"
#include "core/transfer/connection.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

// Reaches the main window's state and private operations, the way the window's
// own code does; its widgets by their object names.
class MainWindowTester
{
public:
    explicit MainWindowTester(MainWindow &window) : w(window) {}

    template <typename Widget> Widget *child(const char *name)
    {
        return w.findChild<Widget *>(QLatin1String(name));
    }
    QSlider *sliderX() { return w.sliderX; }
    QSlider *sliderY() { return w.sliderY; }

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

    bool loadFile(const QString &path) { return w.loadFile(path); }
    void showPicture(const QImage &picture) { w.showPicture(picture); }
    void updatePreview() { w.updatePreview(); }
    void enableSendIfReady() { w.enableSendIfReady(); }
    void openLink() { w.openLink(); }
    void send() { w.send(); }
    void statusTick() { w.InterwalCzasowy(); }
    void closeLink() { w.closeLink(); }
    void disconnectTcpPrinters() { w.disconnectTcpPrinters(); }
    QList<Connection *> &connections() { return w.connections; }
    void cancel() { w.cancel(); }
    void saveSettings() { w.saveSettings(); }

    ComPortFinder &findComPorts() { return w.findComPorts; }

    LogoRaster currentRaster() const { return w.currentRaster(); }
    Conversion &conversion() { return w.conversion; }
    // Opened through its menu command.
    PrintPreview *printPreview()
    {
        if (!w.printPreview || !w.printPreview->isVisible())
            child<QAction>("printPreviewAction")->trigger();
        return w.printPreview;
    }

private:
    MainWindow &w;
};
