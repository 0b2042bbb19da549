#pragma once

#include "support/mainwindowtester.h"
#include "support/testfolder.h"

#include <QTcpSocket>

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
