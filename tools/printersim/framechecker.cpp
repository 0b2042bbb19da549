#include "framechecker.h"

namespace {

const char placementNames[2][7] = {"header", "footer"};

QString twoDigits(int n)
{
    return QString::number(n).rightJustified(2, QLatin1Char('0'));
}

QString byteText(char c)
{
    const uchar u = uchar(c);
    if (u >= 0x21 && u < 0x7F)
        return QStringLiteral("'%1'").arg(QLatin1Char(c));
    return QStringLiteral("0x%1").arg(u, 2, 16, QLatin1Char('0'));
}

int nibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

FrameFields readFrame(const QByteArray &frame, QList<FrameViolation> &violations)
{
    FrameFields fields;
    const int n = frame.size();
    auto violation = [&](int offset, const QString &problem) {
        violations.append({0, offset, problem});
    };
    if (n != simFrameSize)
        violation(std::min(n, simFrameSize),
                  QStringLiteral("frame of %1 bytes, not %2").arg(n).arg(simFrameSize));

    // Offsets 6, 9 and 16 are the variable fields, checked below.
    static const QByteArray head("\x1BP251;..;.;53;0;.;170$d");
    for (int i = 0; i < head.size() && i < n; ++i) {
        if (head.at(i) != '.' && frame.at(i) != head.at(i)) {
            violation(i, QStringLiteral("head byte %1 where %2 belongs")
                             .arg(byteText(frame.at(i)), byteText(head.at(i))));
            break;
        }
    }

    if (n > 7) {
        const char tens = frame.at(6), units = frame.at(7);
        const bool tensOk = tens >= '0' && tens <= '9', unitsOk = units >= '0' && units <= '9';
        if (tensOk && unitsOk)
            fields.row = (tens - '0') * 10 + (units - '0');
        else
            violation(tensOk ? 7 : 6, QStringLiteral("row number %1%2 is not two digits")
                                          .arg(byteText(tens), byteText(units)));
    }
    if (n > 9) {
        fields.lastRow = frame.at(9) == '1';
        if (frame.at(9) != '0' && frame.at(9) != '1')
            violation(9, QStringLiteral("last-row flag %1 is neither '0' nor '1'")
                             .arg(byteText(frame.at(9))));
    }
    if (n > 16) {
        if (frame.at(16) == '0' || frame.at(16) == '1')
            fields.placement = frame.at(16) - '0';
        else
            violation(16, QStringLiteral("placement flag %1 is neither '0' nor '1'")
                              .arg(byteText(frame.at(16))));
    }

    // A frame of another length still carries what lies between head and tail.
    const int payloadEnd = n == simFrameSize ? 127 : std::max(23, n - 3);
    fields.bits = QByteArray(simRowBytes, '\0');
    bool hexOk = true;
    for (int i = 23; i < payloadEnd && i < 23 + 2 * simRowBytes; ++i) {
        const char c = frame.at(i);
        const int value = nibble(c);
        if (hexOk && !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            violation(i, QStringLiteral("payload character %1 is not an upper-case "
                                        "hexadecimal digit")
                             .arg(byteText(c)));
            hexOk = false;
        }
        if (value > 0) {
            const int k = (i - 23) / 2;
            fields.bits[k] = char(uchar(fields.bits.at(k)) | (((i - 23) % 2) ? value : value << 4));
        }
    }

    if (n >= 3 && !frame.endsWith("\x1B\\\x05"))
        violation(n - 3, QStringLiteral("frame does not end with ESC \\ 0x05"));
    return fields;
}

QByteArrayList FrameSplitter::feed(const QByteArray &bytes)
{
    static const QByteArray tailBytes("\x1B\\\x05");
    pending += bytes;
    QByteArrayList frames;
    // Frames are cut from `start` on and removed once at the end, and no byte is
    // searched twice for a tail, so a long stream costs its length, not its square.
    int start = 0;
    for (;;) {
        const int tail = pending.indexOf(tailBytes, std::max(start, searched));
        int cut = tail >= 0 ? tail + tailBytes.size() : -1;
        if (cut < 0) {
            searched = std::max(start, int(pending.size()) - (tailBytes.size() - 1));
            // With no tail in sight, garbage is not left to grow.
            if (pending.size() - start >= 2 * simFrameSize)
                cut = start + simFrameSize;
        }
        if (cut < 0)
            break;
        frames.append(pending.mid(start, cut - start));
        start = cut;
    }
    pending.remove(0, start);
    searched = std::max(0, searched - start);
    return frames;
}

QByteArray FrameSplitter::flush()
{
    QByteArray rest;
    rest.swap(pending);
    searched = 0;
    return rest;
}

void ReceivedLogo::addViolation(const FrameViolation &violation)
{
    if (violations.size() < maxListedViolations)
        violations.append(violation);
    else
        ++moreViolations;
}

QList<ReceivedLogo> LogoReceiver::take(const QByteArray &frame, const QDateTime &at, bool *refused)
{
    QList<FrameViolation> found;
    const FrameFields fields = readFrame(frame, found);
    QList<ReceivedLogo> ended;
    // A new row 01 means the program started over: the logo before is cut short.
    if (current && fields.row == 1)
        ended.append(*interrupt(at));

    int position;
    if (!current) {
        current = ReceivedLogo();
        current->placement = fields.placement < 0 ? 0 : fields.placement;
        current->start = at;
        current->refused = mode == AnswerMode::Programmed ||
                           (mode == AnswerMode::Once && !memory.held[current->placement].isEmpty());
        position = 1;
        if (fields.row > 1) {
            if (fields.row == finishedRow + 1 && current->placement == finishedPlacement)
                current->addViolation(
                    {finishedRow, 9,
                     QStringLiteral("last-row flag on row %1, but row %2 followed")
                         .arg(twoDigits(finishedRow), twoDigits(fields.row))});
            else
                current->addViolation(
                    {1, fields.row / 10 == 0 ? 7 : 6,
                     QStringLiteral("row %1 where 01 was expected").arg(twoDigits(fields.row))});
        }
    } else {
        position = current->frames + 1;
        if (fields.row >= 0 && fields.row != expectedRow) {
            const QString got = twoDigits(fields.row), want = twoDigits(expectedRow);
            current->addViolation({position, got.at(0) != want.at(0) ? 6 : 7,
                                   QStringLiteral("row %1 where %2 was expected").arg(got, want)});
        }
        if (fields.placement >= 0 && fields.placement != current->placement)
            current->addViolation({position, 16,
                                   QStringLiteral("placement %1 in a %2 logo")
                                       .arg(QLatin1String(placementNames[fields.placement]),
                                            QLatin1String(placementNames[current->placement]))});
    }
    expectedRow = (fields.row >= 0 ? fields.row : expectedRow) + 1;
    finishedRow = 0;
    for (FrameViolation &v : found) {
        v.row = position;
        current->addViolation(v);
    }

    ++current->frames;
    current->bytes += frame.size();
    *refused = current->refused;
    if (!current->refused) {
        if (current->rows.size() < simMaxRows)
            current->rows.append(fields.bits);
        else
            current->addViolation(
                {position, 6,
                 QStringLiteral("row beyond the %1 rows of the logo area").arg(simMaxRows)});
    }
    if (position == simMaxRows && !fields.lastRow)
        current->addViolation(
            {position, 9, QStringLiteral("row %1 without the last-row flag").arg(simMaxRows)});

    if (fields.lastRow) {
        current->end = at;
        current->complete = !current->refused;
        if (current->complete)
            memory.held[current->placement] = current->rows;
        finishedRow = fields.row >= 0 ? fields.row : position;
        finishedPlacement = current->placement;
        ended.append(*current);
        current.reset();
        expectedRow = 1;
    }
    return ended;
}

std::optional<ReceivedLogo> LogoReceiver::interrupt(const QDateTime &at)
{
    if (!current)
        return std::nullopt;
    ReceivedLogo logo = *current;
    logo.end = at;
    logo.complete = false;
    current.reset();
    expectedRow = 1;
    finishedRow = 0;
    return logo;
}
