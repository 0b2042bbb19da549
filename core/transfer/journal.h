#pragma once

#include "core/transfer/printeroutcome.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

// What each printer holds, as far as this computer knows: one line per
// programming attempt that ended, appended and never rewritten.
//
// A line: time (UTC, ISO 8601), name, address (or the serial port's name), TCP
// port (0 for a serial port), the logo's fingerprint, outcome key, rows
// acknowledged; ";" between fields, a field quoted as in the printers CSV when it
// holds ";", a quote or a line break; UTF-8, LF. A line without its line end (a
// crash or a full disk cut it) and any line that does not read are skipped.
class Journal
{
public:
    // $XDG_STATE_HOME/kelm-graphics/journal.csv, else ~/.local/state/kelm-graphics/journal.csv.
    static QString defaultPath();

    explicit Journal(const QString &path);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    QString path() const { return file; }

    // Reads the journal once and indexes it; a missing file is an empty journal.
    // False, with a Polish reason, when it exists but cannot be read.
    bool load(QString *error = nullptr);

    // Appends one line with a single write; the folder and the file are made as
    // needed. False, with a Polish reason, when the line did not go in whole.
    bool append(const PrinterResult &result, const QByteArray &fingerprint,
                QString *error = nullptr);

    // The fingerprint of the logo the printer holds per the journal: that of
    // its latest programmed entry, unless a partial write came after it.
    QByteArray heldFingerprint(const QString &address, quint16 port) const;
    // Entries in the 24 hours before now that wrote at least one row.
    int writesInLastDay(const QString &address, quint16 port) const;
    int lineCount() const { return lines; }

    // What makes two entries the same printer: address (case aside) and port.
    static QString key(const QString &address, quint16 port);
    // One entry as a line, `when` in seconds since 1970 (UTC).
    static QByteArray formatLine(qint64 when, const PrinterResult &result,
                                 const QByteArray &fingerprint);

private:
    struct Printer
    {
        QByteArray held;
        QVector<qint64> writes; // times of entries that wrote rows
    };
    void index(qint64 when, const QString &key, const QByteArray &fingerprint,
               const QString &outcome, int rows);

    QString file;
    int fd = -1;
    bool cutTail = false; // the file ends inside a line
    int lines = 0;
    QHash<QString, Printer> printers;
};

// Up to this many writes (entries that wrote rows) a day per printer: its
// non-volatile memory is meant for rare rewrites.
constexpr int dailyWriteBudget = 10;

// A hash of the frames as sent (the template's placement, every row): the same
// picture and settings give the same fingerprint. 16 hexadecimal digits.
QByteArray logoFingerprint(const QByteArray &logoHex, int lineCount,
                           const QByteArray &frameTemplate);
