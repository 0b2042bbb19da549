#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One TCP/IP printer entry as a file of printers carries it.
struct PrinterEntry
{
    QString name;
    QString address;
    QString port;
    bool selected = true;

    bool operator==(const PrinterEntry &other) const
    {
        return name == other.name && address == other.address && port == other.port &&
               selected == other.selected;
    }
    bool operator!=(const PrinterEntry &other) const { return !(*this == other); }
};

struct CsvLineProblem
{
    int line = 0;   // 1-based, as an editor numbers the file's lines
    QString reason; // Polish, for the operator
};

struct PrinterCsv
{
    QList<PrinterEntry> entries;
    QList<CsvLineProblem> problems;
    QList<int> lines; // the line each entry comes from
    // A send's report ("Zapisz raport...", --report) read as printers: its
    // outcome words per entry; serial printers (port 0) are left out.
    bool report = false;
    QStringList results;
};

// A file of printers: one per line, name, address, port and optionally 1/0 for
// taking part (1 when missing). Fields are separated by ";" or "," (whichever
// splits more lines into 3 or 4 fields), may be quoted ("" is a quote inside a
// quoted field); unquoted fields are trimmed. A first line whose third field
// holds the word "port" is a header. UTF-8 with or without BOM, otherwise
// Windows-1250. Every line goes through the editor's checks and must not hold
// "Drukarka"; lines that fail, and lines repeating the address and port of an
// earlier line, are in `problems` and nowhere else. Blank lines are skipped. A
// report of a send (its header) gives its printers.
// The port must be a number. A field written as text for a spreadsheet (see
// csvLine) loses its first "'". An address "[IPv6]" is refused, with the reason
// that settings.txt cannot hold it, unless `acceptIpv6` (kelm-logo reads such
// files, and never writes settings.txt).
PrinterCsv parsePrinterCsv(const QByteArray &content, bool acceptIpv6 = false);

// The same format: UTF-8 with BOM, ";", CR LF, a header line;
// parsePrinterCsv(formatPrinterCsv(x)).entries == x for entries that pass the checks.
QByteArray formatPrinterCsv(const QList<PrinterEntry> &entries);

// One CSV line in UTF-8, fields joined by ";" and ended by CR LF; a field is
// quoted when it holds ";", ",", a quote, a line break or leading or trailing
// white space. A field a spreadsheet would take for a formula (starting with
// "=", "+", "-", "@", a tab or a carriage return, after any "'") is quoted with
// a "'" in front, which the spreadsheet shows as text and the reader drops.
// The file's writer puts csvByteOrderMark first.
QByteArray csvLine(const QStringList &fields);
extern const char csvByteOrderMark[];
// The header line of a send's report.
const QStringList &reportHeader();

// The editor's checks for one entry, in its order: the address, the port, ":" in
// any field, control characters (a line break among them) in any field. Both
// would split or shift the entry's line in settings.txt.
struct EntryProblem
{
    enum Kind
    {
        None,
        Address,
        Port,
        Colon,
        ControlCharacter
    };
    Kind kind = None;
    QString text;   // the box's text, or the reason of an imported line
    QString detail; // the box's informative text
};
EntryProblem checkPrinterEntry(const QString &name, const QString &address, const QString &port);

// checkPrinterEntry's text; empty when the entry is acceptable. The reserved word
// "Drukarka" is checked apart (see containsReservedWord): the editor does not.
QString printerEntryProblem(const QString &name, const QString &address, const QString &port);
bool containsReservedWord(const QString &text);

// "[address]" holding an IPv6 address; `bare` gets it without the brackets.
bool isBracketedIpv6(const QString &address, QString *bare = nullptr);

// Every part between the dots converts (as decimal, anything else as 0) to at most 255.
bool isIpValid(const QString &address);

// What makes two entries the same printer: the address (case and surrounding
// white space aside) and the port's number (or its text when it is none).
QString printerAddressKey(const QString &address, const QString &port);
