#pragma once

#include "logooutput.h"

#include <QObject>
#include <QStringList>

#include <memory>

class QSocketNotifier;
class SerialPrinter;
class TcpPrinter;

// Plays the printers named on the command line on one event loop until SIGINT or
// SIGTERM, which end it with every logo in progress written out.
class Simulator : public QObject
{
public:
    Simulator();
    ~Simulator() override;

    // Starts the printers and prints one line per printer, then "ready". False,
    // with the reason, for a bad command line or a printer that cannot start.
    bool start(const QStringList &arguments, QString *error);
    void stop();

    static QString usage();

private:
    std::unique_ptr<LogoOutput> output;
    QList<TcpPrinter *> tcpPrinters;
    QList<SerialPrinter *> serialPrinters;
    QSocketNotifier *signalReader = nullptr;
    bool stopped = false;
};
