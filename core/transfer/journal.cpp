#include "core/transfer/journal.h"

#include "core/config/printercsv.h"
#include "core/printer/frame.h"
#include "core/system/safefile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qint64 daySeconds = 24 * 3600;

QByteArray field(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(';') || bytes.contains('"') || bytes.contains('\n') ||
        bytes.contains('\r')) {
        bytes.replace('"', "\"\"");
        bytes = '"' + bytes + '"';
    }
    return bytes;
}

// Splits one line (without its line end) into fields; false when a quote is not closed.
bool splitFields(const char *p, const char *end, QVector<QByteArray> *fields)
{
    fields->clear();
    for (;;) {
        QByteArray f;
        if (p < end && *p == '"') {
            ++p;
            for (;;) {
                if (p >= end)
                    return false;
                if (*p == '"') {
                    if (p + 1 < end && p[1] == '"') {
                        f += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                f += *p++;
            }
        } else {
            const char *start = p;
            while (p < end && *p != ';')
                ++p;
            f = QByteArray(start, int(p - start));
        }
        fields->append(f);
        if (p >= end)
            return true;
        if (*p != ';')
            return false;
        ++p;
    }
}

int digits(const char *p, int n)
{
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return -1;
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

// "YYYY-MM-DDTHH:MM:SSZ" to seconds since 1970; -1 when it is not that.
qint64 parseTime(const QByteArray &t)
{
    const char *s = t.constData();
    if (t.size() != 20 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' ||
        s[16] != ':' || s[19] != 'Z')
        return -1;
    const int y = digits(s, 4), m = digits(s + 5, 2), d = digits(s + 8, 2);
    const int hh = digits(s + 11, 2), mm = digits(s + 14, 2), ss = digits(s + 17, 2);
    if (y < 0 || m < 1 || m > 12 || d < 1 || d > 31 || hh < 0 || hh > 23 || mm < 0 || mm > 59 ||
        ss < 0 || ss > 60)
        return -1;
    // Days from the civil date (proleptic Gregorian).
    const int yy = y - (m <= 2);
    const int era = (yy >= 0 ? yy : yy - 399) / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const qint64 days = qint64(era) * 146097 + doe - 719468;
    return days * daySeconds + hh * 3600 + mm * 60 + ss;
}

} // namespace

QString Journal::defaultPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/kelm-graphics/journal.csv");
}

Journal::Journal(const QString &path) : file(path) {}

Journal::~Journal()
{
    if (fd >= 0)
        ::close(fd);
}

QString Journal::key(const QString &address, quint16 port)
{
    return printerAddressKey(address, QString::number(port));
}

QByteArray Journal::formatLine(qint64 when, const PrinterResult &r, const QByteArray &fingerprint)
{
    const QByteArray time = QDateTime::fromSecsSinceEpoch(when, Qt::UTC)
                                .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"))
                                .toLatin1();
    return time + ';' + field(r.name) + ';' + field(r.address) + ';' + QByteArray::number(r.port) +
           ';' + fingerprint + ';' + outcomeKey(r.outcome).toLatin1() + ';' +
           QByteArray::number(r.rowsSent) + '\n';
}

void Journal::index(qint64 when, const QString &key, const QByteArray &fingerprint,
                    const QString &outcome, int rows)
{
    Printer &p = printers[key];
    if (outcome == QLatin1String("programmed"))
        p.held = fingerprint;
    else if (rows > 0)
        p.held.clear(); // a logo cut short: whatever it holds now, it is not a known one
    if (rows > 0)
        p.writes.append(when);
}

bool Journal::load(QString *error)
{
    QFile in(file);
    if (!in.exists())
        return true;
    if (!in.open(QIODevice::ReadOnly)) {
        const int code = errno;
        if (error)
            *error = QStringLiteral("nie można odczytać dziennika %1: %2")
                         .arg(QDir::toNativeSeparators(file), systemErrorText(code));
        return false;
    }
    const QByteArray content = in.readAll();
    const qint64 since = QDateTime::currentSecsSinceEpoch() - daySeconds;
    QVector<QByteArray> fields;
    const char *p = content.constData();
    const char *end = p + content.size();
    while (p < end) {
        const char *eol = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        if (!eol) {
            cutTail = true; // cut by a crash or a full disk: never read
            break;
        }
        const char *lineEnd = eol > p && eol[-1] == '\r' ? eol - 1 : eol;
        if (splitFields(p, lineEnd, &fields) && fields.size() == 7) {
            const qint64 when = parseTime(fields.at(0));
            bool portOk = false, rowsOk = false;
            const uint port = fields.at(3).toUInt(&portOk);
            const int rows = fields.at(6).toInt(&rowsOk);
            if (when >= 0 && portOk && port <= 65535 && rowsOk) {
                ++lines;
                const QString k = key(QString::fromUtf8(fields.at(2)), quint16(port));
                index(when, k, fields.at(4), QString::fromLatin1(fields.at(5)), rows);
            }
        }
        p = eol + 1;
    }
    // Only the last day's writes count.
    for (Printer &printer : printers) {
        QVector<qint64> &w = printer.writes;
        w.erase(std::remove_if(w.begin(), w.end(), [since](qint64 t) { return t < since; }),
                w.end());
    }
    return true;
}

bool Journal::append(const PrinterResult &r, const QByteArray &fingerprint, QString *error)
{
    const auto fail = [&](int code) {
        if (error)
            *error = QStringLiteral("nie można dopisać do dziennika %1: %2")
                         .arg(QDir::toNativeSeparators(file), systemErrorText(code));
        return false;
    };
    if (fd < 0) {
        QDir().mkpath(QFileInfo(file).absolutePath());
        fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                    0644);
        if (fd < 0)
            return fail(errno);
        // A line cut by an earlier crash stays apart from this one.
        const off_t size = ::lseek(fd, 0, SEEK_END);
        char last = '\n';
        if (size > 0 && ::pread(fd, &last, 1, size - 1) == 1 && last != '\n')
            cutTail = true;
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QByteArray line = formatLine(now, r, fingerprint);
    if (cutTail)
        line.prepend('\n');
    // One write on an O_APPEND descriptor: the line goes in whole or is cut at
    // its end, never mixed with another writer's.
    const ssize_t written = ::write(fd, line.constData(), size_t(line.size()));
    if (written != line.size()) {
        const int code = written < 0 ? errno : ENOSPC;
        cutTail = written > 0;
        return fail(code);
    }
    cutTail = false;
    index(now, key(r.address, r.port), fingerprint, outcomeKey(r.outcome), r.rowsSent);
    return true;
}

QByteArray Journal::heldFingerprint(const QString &address, quint16 port) const
{
    return printers.value(key(address, port)).held;
}

int Journal::writesInLastDay(const QString &address, quint16 port) const
{
    const auto it = printers.constFind(key(address, port));
    if (it == printers.constEnd())
        return 0;
    const qint64 since = QDateTime::currentSecsSinceEpoch() - daySeconds;
    return int(std::count_if(it->writes.begin(), it->writes.end(),
                             [since](qint64 t) { return t >= since; }));
}

QByteArray logoFingerprint(const QByteArray &logoHex, int lineCount,
                           const QByteArray &frameTemplate)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray frame = frameTemplate;
    for (int row = 1; row <= lineCount; ++row) {
        if (fillFrameRow(frame, row, lineCount, logoHex))
            hash.addData(frame);
    }
    return hash.result().toHex().left(16);
}
