#pragma once

#include "core/system/safefile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// What settings.txt stores, apart from any live objects.
struct StoredSettings
{
    QString imagePath;
    int linkMode = 0;
    QStringList printerIps;
    QStringList printerPorts;
    QStringList printerNames;
    QList<bool> printerSelected;
    QString comPortName;
    bool comPortChosen = true;

    int printerCount() const { return printerIps.size(); }
    bool operator==(const StoredSettings &other) const;
    bool operator!=(const StoredSettings &other) const { return !(*this == other); }
};

extern const char settingsFileName[];
extern const char printerLinePrefix[];
// A larger settings.txt is not read.
constexpr qint64 maxSettingsFileSize = maxInputFileSize;

// The content as UTF-8: itself when it is valid UTF-8, otherwise read as
// Windows-1250.
QByteArray settingsAsUtf8(const QByteArray &content);

// Updates `settings` from the file content (see settingsAsUtf8), keeping the
// values already there for whatever the content does not provide. Lines may end
// in LF or CR LF. Only lines that start with the printer prefix, directly after
// the link line, are printer entries, so a stray "Drukarka" in a path or a name
// cannot shift the other lines.
void parseSettings(const QByteArray &content, StoredSettings &settings);

// The file content, UTF-8 with LF line ends.
QByteArray formatSettings(const StoredSettings &settings);
