#pragma once

#include "framechecker.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class LogoOutput;
class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

struct PrinterOptions
{
    AnswerMode mode = AnswerMode::Ack;
    char ackByte = 0x64;
    int delayMs = 0;
    int wireBaud = 0;  // 0: answer as soon as the frame is in
    int dropAfter = 0; // 0: never drop (TCP only)
};

// One link into a printer: cuts the bytes into frames, checks them, answers each
// by the printer's options and hands every logo ended to the output.
class PrinterLink : public QObject
{
public:
    PrinterLink(const QString &printer, const QString &stem, PrinterMemory &memory,
                const PrinterOptions &options, LogoOutput &output, QObject *parent);

    void receive(const QByteArray &bytes);
    // The link is gone or the program stops: a logo in progress is incomplete.
    void interrupt();

    std::function<void(const QByteArray &)> write;
    std::function<void()> drop;

private:
    void takeFrame(const QByteArray &frame);
    void answer(bool refused);
    void send(const QByteArray &bytes, int afterMs);

    QString printer;
    QString stem;
    PrinterOptions options;
    LogoOutput &output;
    FrameSplitter splitter;
    LogoReceiver receiver;
    QTimer idleCut;
    int frames = 0;
};

// A printer listening on one TCP address; its memory outlives its connections.
class TcpPrinter : public QObject
{
public:
    TcpPrinter(const PrinterOptions &options, LogoOutput &output, QObject *parent = nullptr);
    ~TcpPrinter() override;
    bool listen(const QHostAddress &address, quint16 port, QString *error);
    QString name() const;
    void stop();

private:
    void accept();

    PrinterOptions options;
    LogoOutput &output;
    PrinterMemory memory;
    QTcpServer *server;
    QList<QPointer<PrinterLink>> links;
};

// A printer on a new pseudo-terminal, reached through a symbolic link at `path`.
class SerialPrinter : public QObject
{
public:
    SerialPrinter(const QString &path, const PrinterOptions &options, LogoOutput &output,
                  QObject *parent = nullptr);
    ~SerialPrinter() override;
    bool open(QString *error);
    QString name() const { return QStringLiteral("serial ") + path; }
    QString device() const { return devicePath; }
    void stop();

private:
    void readMaster();

    QString path;
    QString devicePath;
    PrinterOptions options;
    LogoOutput &output;
    PrinterMemory memory;
    PrinterLink *link = nullptr;
    QSocketNotifier *reader = nullptr;
    int master = -1;
    int slave = -1;
    bool linked = false;
};
