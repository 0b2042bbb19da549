#pragma once

#include "app/mainwindow.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

// Reaches the main window's state and private operations, the way the window's
// own code does.
class MainWindowTester
{
public:
    explicit MainWindowTester(MainWindow &window) : w(window) {}

    LinkSettings &linkSettings() { return w.linkSettings; }
    QList<Connection *> &connections() { return w.connections; }
    QString &imagePath() { return w.imagePath; }
    QImage &image() { return w.image; }
    QPixmap &previewPixmap() { return w.previewPixmap; }
    QByteArray &logoHex() { return w.logoHex; }
    QByteArray &frameTemplate() { return w.frameTemplate; }
    QByteArray &lastReply() { return w.lastReply; }
    int &currentLine() { return w.currentLine; }
    int &lineCount() { return w.lineCount; }
    bool &syncingSliders() { return w.syncingSliders; }

    QTimer *statusTimer() { return w.statusTimer; }
    QAction *openAction() { return w.openAction; }
    QAction *exitAction() { return w.exitAction; }
    QAction *settingsAction() { return w.settingsAction; }
    QAction *aboutAction() { return w.aboutAction; }
    QMenu *fileMenu() { return w.fileMenu; }
    QPushButton *sendButton() { return w.sendButton; }
    QPushButton *cancelButton() { return w.cancelButton; }
    QProgressBar *progressBar() { return w.progressBar; }
    QLabel *edgeLabel() { return w.edgeLabel; }
    QLabel *previewLabel() { return w.previewLabel; }
    QLabel *scaleXValueLabel() { return w.scaleXValueLabel; }
    QLabel *scaleYValueLabel() { return w.scaleYValueLabel; }
    QLabel *statusLabel() { return w.statusLabel; }
    QSlider *sliderX() { return w.sliderX; }
    QSlider *sliderY() { return w.sliderY; }
    QCheckBox *keepProportionsCheck() { return w.keepProportionsCheck; }
    QRadioButton *headerRadio() { return w.headerRadio; }
    QRadioButton *footerRadio() { return w.footerRadio; }

    bool loadFile(const QString &path) { return w.loadFile(path); }
    void updatePreview() { w.updatePreview(); }
    void enableSendIfReady() { w.enableSendIfReady(); }
    void loadSettings() { w.loadSettings(); }
    void saveSettings() { w.saveSettings(); }
    void openLink() { w.openLink(); }
    void send() { w.send(); }
    void cancel() { w.cancel(); }
    void readComData() { w.readComData(); }
    void statusTick() { w.InterwalCzasowy(); }
    void closeLink() { w.closeLink(); }
    void disconnectTcpPrinters() { w.disconnectTcpPrinters(); }

private:
    MainWindow &w;
};
