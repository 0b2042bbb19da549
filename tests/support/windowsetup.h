#pragma once

#include "support/mainwindowtester.h"
#include "support/testfolder.h"
#include "ui/progress/tcpprogressdialog.h"

#include <QApplication>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

// A ticked printer entry on 127.0.0.1, its port as typed.
inline void addTcpEntry(LinkSettings &s, const QString &name, const QString &port)
{
    s.printerIps << QStringLiteral("127.0.0.1");
    s.printerPorts << port;
    s.printerNames << name;
    s.printerSelected << true;
    s.tcpSockets << new QTcpSocket;
    s.printerCount = s.tcpSockets.size();
}

// A white logo of 96 rows loaded as the picture to send.
inline bool loadWhiteLogo(MainWindowTester &t, const TestFolder &folder)
{
    QImage image(416, 96, QImage::Format_Mono);
    image.fill(1);
    const QString path = folder.filePath(QStringLiteral("logo.png"));
    return image.save(path) && t.loadFile(path);
}

// "Wyślij" (with `buttonOff`, as when the button is off); `during` runs inside
// the progress dialog, which is closed after it. False if no dialog came.
inline bool sendInDialog(MainWindowTester &t,
                         const std::function<void(TcpProgressDialog &)> &during,
                         bool buttonOff = false)
{
    bool shown = false;
    QTimer timer; // at once, before the first answer can reach a bar
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<TcpProgressDialog *>(QApplication::activeModalWidget())) {
            shown = true;
            during(*dialog);
            dialog->close();
        }
    });
    timer.start(0);
    buttonOff ? t.sendWhileOff() : t.send();
    return shown;
}
