#include "core/config/printercsv.h"

#include <QHash>
#include <QRegularExpression>
#include <QTextCodec>

#include <functional>
#include <limits>

#include <arpa/inet.h>

const char csvByteOrderMark[] = "\xEF\xBB\xBF";

namespace {

const char nameLabel[] = "Nazwa drukarki";
const char addressLabel[] = "Adres IP";
const char portLabel[] = "Numer Portu TCP";

// A number as toInt reads it (non-numbers as 0), except that a decimal number too
// long for an int counts as the largest int: toInt would make it 0 and let it pass.
qint64 decimalValue(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (ok)
        return value;
    static const QRegularExpression hugeNumber(QStringLiteral("^\\s*\\+?[0-9]+\\s*$"));
    return hugeNumber.match(text).hasMatch() ? std::numeric_limits<int>::max() : 0;
}

bool isControl(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

bool hasControl(const QString &text)
{
    for (const QChar c : text) {
        if (isControl(c))
            return true;
    }
    return false;
}

// "Pole „X” zawiera ..." for one field, "Pola „X”, „Y” i „Z” zawierają ..." for more.
QString fieldsText(QStringList labels, const QString &one, const QString &many)
{
    for (QString &label : labels)
        label = QStringLiteral("„%1”").arg(label);
    if (labels.size() == 1)
        return one.arg(labels.first());
    const QString last = labels.takeLast();
    return many.arg(labels.join(QStringLiteral(", ")), last);
}

QStringList labelsWhere(const QString &name, const QString &address, const QString &port,
                        const std::function<bool(const QString &)> &test)
{
    QStringList labels;
    if (test(name))
        labels << QLatin1String(nameLabel);
    if (test(address))
        labels << QLatin1String(addressLabel);
    if (test(port))
        labels << QLatin1String(portLabel);
    return labels;
}

QString decode(const QByteArray &content)
{
    // A byte-order mark says it all (and is dropped); otherwise UTF-8 when the bytes
    // are valid UTF-8, else what a spreadsheet on a Polish system writes.
    if (QTextCodec *marked = QTextCodec::codecForUtfText(content, nullptr))
        return marked->toUnicode(content);
    QTextCodec::ConverterState state;
    const QString utf8 =
        QTextCodec::codecForName("UTF-8")->toUnicode(content.constData(), content.size(), &state);
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return utf8;
    return QTextCodec::codecForName("windows-1250")->toUnicode(content);
}

struct SplitLine
{
    QStringList fields;
    QString fault; // why the line cannot be read, if it cannot
};

SplitLine splitLine(const QString &line, QChar separator)
{
    SplitLine out;
    const int n = line.size();
    int i = 0;
    for (;;) {
        int start = i;
        while (i < n && line.at(i).isSpace() && line.at(i) != separator)
            ++i;
        if (i < n && line.at(i) == QLatin1Char('"')) {
            QString field;
            ++i;
            bool closed = false;
            while (i < n) {
                if (line.at(i) == QLatin1Char('"')) {
                    if (i + 1 < n && line.at(i + 1) == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                field += line.at(i++);
            }
            if (!closed) {
                out.fault = QStringLiteral("Niezamknięty cudzysłów");
                return out;
            }
            while (i < n && line.at(i).isSpace() && line.at(i) != separator)
                ++i;
            if (i < n && line.at(i) != separator) {
                out.fault = QStringLiteral("Znaki po cudzysłowie zamykającym pole");
                return out;
            }
            out.fields << field;
        } else {
            i = start;
            while (i < n && line.at(i) != separator)
                ++i;
            out.fields << line.mid(start, i - start).trimmed();
        }
        if (i >= n)
            return out;
        ++i; // the separator
    }
}

int threeOrFourFieldLines(const QStringList &lines, QChar separator)
{
    int count = 0;
    for (const QString &line : lines) {
        const SplitLine split = splitLine(line, separator);
        if (split.fault.isEmpty() && (split.fields.size() == 3 || split.fields.size() == 4))
            ++count;
    }
    return count;
}

bool isBlank(const SplitLine &split)
{
    if (!split.fault.isEmpty())
        return false;
    for (const QString &field : split.fields) {
        if (!field.isEmpty())
            return false;
    }
    return true;
}

// What a spreadsheet reads as the start of a formula, after any quotes.
bool looksLikeFormula(const QString &field)
{
    int i = 0;
    while (i < field.size() && field.at(i) == QLatin1Char('\''))
        ++i;
    if (i >= field.size())
        return false;
    switch (field.at(i).unicode()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return true;
    default:
        return false;
    }
}

// Undoes csvLine's "'" in front of a formula-like field.
QString fromSpreadsheetText(const QString &field)
{
    return field.startsWith(QLatin1Char('\'')) && looksLikeFormula(field) ? field.mid(1) : field;
}

} // namespace

bool isBracketedIpv6(const QString &address, QString *bare)
{
    const QString trimmed = address.trimmed();
    if (trimmed.size() < 3 || !trimmed.startsWith(QLatin1Char('[')) ||
        !trimmed.endsWith(QLatin1Char(']')))
        return false;
    const QString inside = trimmed.mid(1, trimmed.size() - 2);
    unsigned char binary[16];
    if (::inet_pton(AF_INET6, inside.toLatin1().constData(), binary) != 1 ||
        inside.toLatin1() != inside.toUtf8())
        return false;
    if (bare)
        *bare = inside;
    return true;
}

bool isIpValid(const QString &address)
{
    const QStringList parts = address.split(QLatin1Char('.'));
    for (const QString &part : parts) {
        if (decimalValue(part) > 255)
            return false;
    }
    return true;
}

bool containsReservedWord(const QString &text)
{
    return text.contains(QLatin1String("Drukarka"));
}

EntryProblem checkPrinterEntry(const QString &name, const QString &address, const QString &port)
{
    if (!isIpValid(address))
        return {EntryProblem::Address, QStringLiteral("Błędny adres IP"), {}};
    if (decimalValue(port) > 65535)
        return {EntryProblem::Port, QStringLiteral("Błędny numer portu (większy niż 65536)"), {}};
    // settings.txt separates its fields with ":" and its entries with line ends,
    // and escapes neither.
    const QStringList withColon = labelsWhere(
        name, address, port, [](const QString &text) { return text.contains(QLatin1Char(':')); });
    if (!withColon.isEmpty())
        return {EntryProblem::Colon,
                fieldsText(withColon, QStringLiteral("Pole %1 zawiera niedozwolony znak „:”."),
                           QStringLiteral("Pola %1 i %2 zawierają niedozwolony znak „:”.")),
                QStringLiteral("Dwukropek rozdziela pola w pliku settings.txt.")};
    const QStringList withControl = labelsWhere(name, address, port, hasControl);
    if (!withControl.isEmpty())
        return {EntryProblem::ControlCharacter,
                fieldsText(withControl,
                           QStringLiteral("Pole %1 zawiera niedozwolony znak sterujący."),
                           QStringLiteral("Pola %1 i %2 zawierają niedozwolone znaki sterujące.")),
                QStringLiteral("Podział wiersza ani inny znak sterujący nie może być częścią "
                               "wpisu: rozdzieliłby jego wiersz w pliku settings.txt.")};
    return {};
}

QString printerEntryProblem(const QString &name, const QString &address, const QString &port)
{
    return checkPrinterEntry(name, address, port).text;
}

QString printerAddressKey(const QString &address, const QString &port)
{
    bool numeric = false;
    const int number = port.trimmed().toInt(&numeric, 10);
    return address.trimmed().toLower() + QLatin1Char('\n') +
           (numeric ? QString::number(number) : port.trimmed());
}

PrinterCsv parsePrinterCsv(const QByteArray &content, bool acceptIpv6)
{
    QString text = decode(content);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList lines = text.split(QLatin1Char('\n'));

    // A spreadsheet on a Polish system writes ";", elsewhere ",".
    const QChar separator = threeOrFourFieldLines(lines, QLatin1Char(',')) >
                                    threeOrFourFieldLines(lines, QLatin1Char(';'))
                                ? QLatin1Char(',')
                                : QLatin1Char(';');

    PrinterCsv out;
    QHash<QString, int> firstLineOf; // address key -> line number
    bool first = true;
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNumber = i + 1;
        SplitLine split = splitLine(lines.at(i), separator);
        if (isBlank(split))
            continue;
        const bool header = first && split.fault.isEmpty() && split.fields.size() >= 3 &&
                            split.fields.at(2).contains(QLatin1String("port"), Qt::CaseInsensitive);
        first = false;
        if (header) {
            out.report = split.fields == reportHeader();
            continue;
        }

        const auto problem = [&](const QString &reason) {
            out.problems.append({lineNumber, reason});
        };
        if (!split.fault.isEmpty()) {
            problem(split.fault);
            continue;
        }
        QStringList &fields = split.fields;
        QString result;
        if (out.report && fields.size() == reportHeader().size()) {
            if (fields.at(2) == QLatin1String("0"))
                continue; // the serial printer
            result = fields.at(3);
            fields = fields.mid(0, 3);
        }
        while (fields.size() > 4 && fields.last().isEmpty())
            fields.removeLast();
        if (fields.size() < 3) {
            problem(QStringLiteral("Za mało pól: potrzebne są nazwa, adres i port"));
            continue;
        }
        if (fields.size() > 4) {
            problem(QStringLiteral("Za dużo pól: najwyżej nazwa, adres, port i 1 lub 0"));
            continue;
        }
        for (QString &field : fields)
            field = fromSpreadsheetText(field);
        PrinterEntry entry{fields.at(0), fields.at(1), fields.at(2), true};
        if (fields.size() == 4 && !fields.at(3).isEmpty()) {
            if (fields.at(3) == QLatin1String("0")) {
                entry.selected = false;
            } else if (fields.at(3) != QLatin1String("1")) {
                problem(
                    QStringLiteral("Czwarte pole musi być 1 lub 0, jest „%1”").arg(fields.at(3)));
                continue;
            }
        }
        const bool ipv6 = isBracketedIpv6(entry.address);
        if (ipv6 && !acceptIpv6) {
            problem(QStringLiteral("Adresu IPv6 „%1” nie można zapisać w pliku settings.txt")
                        .arg(entry.address.trimmed()));
            continue;
        }
        // The brackets and colons of an IPv6 address are checked above.
        const QString entryProblem =
            printerEntryProblem(entry.name, ipv6 ? QString() : entry.address, entry.port);
        if (!entryProblem.isEmpty()) {
            problem(entryProblem);
            continue;
        }
        static const QRegularExpression number(QStringLiteral("^\\s*[0-9]+\\s*$"));
        if (!number.match(entry.port).hasMatch()) {
            problem(QStringLiteral("Port „%1” nie jest liczbą").arg(entry.port));
            continue;
        }
        if (containsReservedWord(entry.name) || containsReservedWord(entry.address) ||
            containsReservedWord(entry.port)) {
            problem(QStringLiteral("Słowo „Drukarka” jest zastrzeżone dla pliku settings.txt"));
            continue;
        }
        const QString key = printerAddressKey(entry.address, entry.port);
        const auto earlier = firstLineOf.constFind(key);
        if (earlier != firstLineOf.constEnd()) {
            problem(QStringLiteral("Ten sam adres i port co w wierszu %1").arg(earlier.value()));
            continue;
        }
        firstLineOf.insert(key, lineNumber);
        out.entries.append(entry);
        out.lines.append(lineNumber);
        if (out.report)
            out.results.append(result);
    }
    return out;
}

const QStringList &reportHeader()
{
    static const QStringList header{QStringLiteral("Nazwa"),    QStringLiteral("Adres IP"),
                                    QStringLiteral("Port TCP"), QStringLiteral("Wynik"),
                                    QStringLiteral("Wiersze"),  QStringLiteral("Sekundy")};
    return header;
}

QByteArray csvLine(const QStringList &fields)
{
    QByteArray out;
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += ';';
        const bool formula = looksLikeFormula(fields.at(i));
        const QString field = formula ? QLatin1Char('\'') + fields.at(i) : fields.at(i);
        const bool quote =
            formula || (!field.isEmpty() &&
                        (field.contains(QLatin1Char(';')) || field.contains(QLatin1Char(',')) ||
                         field.contains(QLatin1Char('"')) || field.contains(QLatin1Char('\n')) ||
                         field.contains(QLatin1Char('\r')) || field.front().isSpace() ||
                         field.back().isSpace()));
        if (quote) {
            QString doubled = field;
            doubled.replace(QLatin1String("\""), QLatin1String("\"\""));
            out += '"' + doubled.toUtf8() + '"';
        } else {
            out += field.toUtf8();
        }
    }
    out += "\r\n";
    return out;
}

QByteArray formatPrinterCsv(const QList<PrinterEntry> &entries)
{
    QByteArray out(csvByteOrderMark);
    out += csvLine({QStringLiteral("Nazwa"), QStringLiteral("Adres IP"), QStringLiteral("Port TCP"),
                    QStringLiteral("Udział")});
    for (const PrinterEntry &entry : entries)
        out += csvLine({entry.name, entry.address, entry.port,
                        entry.selected ? QStringLiteral("1") : QStringLiteral("0")});
    return out;
}
