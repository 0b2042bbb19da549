#pragma once

#include "core/logo/logoconversion.h"
#include "core/transfer/timing.h"

#include <QString>
#include <QStringList>

// What the command line asks for, checked as far as it can be without reading a file.
struct LogoCommand
{
    enum Kind
    {
        Help,
        Version,
        Preview,
        Program
    };
    Kind kind = Help;
    QString helpTopic; // "", "preview" or "program"

    QString picture;
    int xPercent = 100;
    int yPercent = 100;
    bool fit = false;
    bool footer = false;
    Conversion conversion;

    QString output; // preview: the PNG

    QStringList printerFiles;
    bool all = false;
    QStringList tcp; // HOST:PORT as given
    QString serial;
    double timeoutSeconds = Timing::answerTimeoutMs / 1000.0;
    int retries = 0;
    int jobs = 0; // 0: all at once (not given)
    QString report;
    bool json = false;
    QString journal; // empty: Journal::defaultPath()
    bool force = false;
    bool check = false;
    bool onlyFailed = false;
    bool detailedExitCodes = false;
};

// Fills `command` from the arguments (without the program's name). On a usage
// error returns false with a Polish message.
bool parseCommandLine(const QStringList &arguments, LogoCommand *command, QString *error);

// The --help text, in Polish, with an example for every option.
QString helpText(const QString &topic = {});

// Whether the arguments ask for --detailed-exitcodes, even when they are not usable.
bool wantsDetailedExitCodes(const QStringList &arguments);

// HOST:PORT, HOST may be [IPv6]; the port 1..65535.
bool splitHostPort(const QString &text, QString *host, quint16 *port);
