#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QSerialPort;
class QTcpSocket;

// The link configuration and the TCP/IP printer table. The five per-printer lists
// stay index-aligned and printerCount equals their length.
struct LinkSettings
{
    int linkMode = 0;       // 0 no link, 1 serial, 2 TCP/IP
    int chosenLinkMode = 0; // last link type picked in the settings dialog
    QSerialPort *serialPort = nullptr;
    QList<QTcpSocket *> tcpSockets;
    QStringList printerIps;
    QStringList printerPorts;
    QStringList printerNames;
    QList<bool> printerSelected;
    QString comPortName;
    int printerCount = 0;
    bool comPortChosen = true;
    bool comPortOpen = false;
};
