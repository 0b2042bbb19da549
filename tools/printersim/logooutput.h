#pragma once

#include "framechecker.h"

#include <QHash>
#include <QString>

// One JSON line for a logo received: printer, placement, counts, violations, times.
QByteArray logLine(const QString &printer, const ReceivedLogo &logo, const QString &pngFile);

// Where received logos go: a PNG per complete logo and a line in log.jsonl in the
// output folder (if one was given), and a short line on standard output.
class LogoOutput
{
public:
    explicit LogoOutput(const QString &folder = {}) : folder(folder) {}

    // `stem` names the printer's files.
    void record(const QString &printer, const QString &stem, const ReceivedLogo &logo);

private:
    QString folder;
    QHash<QString, int> counts;
};
