#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// The printer's own reading of the graphic frame. It does not share the program's
// definition of the frame, so that a fault there cannot hide here.
constexpr int simFrameSize = 130;
constexpr int simRowBytes = 52;
constexpr int simMaxRows = 96;

struct FrameViolation
{
    int row;    // the frame's place in its logo, 1-based: the row it should carry
    int offset; // byte offset in the frame
    QString problem;

    bool operator==(const FrameViolation &o) const
    {
        return row == o.row && offset == o.offset && problem == o.problem;
    }
};

// What one frame says, read leniently so that a broken frame still yields a row.
struct FrameFields
{
    int row = -1; // -1 unless two decimal digits
    bool lastRow = false;
    int placement = -1; // 0 header, 1 footer, -1 neither
    QByteArray bits;    // simRowBytes bytes, most significant bit leftmost
};

// Checks all a frame must hold whatever came before it: the length, the constant
// head and tail, the flag characters and the 104 upper-case hexadecimal digits.
// Violations are appended with row 0; the caller knows the row.
FrameFields readFrame(const QByteArray &frame, QList<FrameViolation> &violations);

// Cuts the byte stream of one link into frames at their tail ESC \ 0x05.
class FrameSplitter
{
public:
    QByteArrayList feed(const QByteArray &bytes);
    // What is pending, given up on as one broken frame.
    QByteArray flush();
    bool hasPending() const { return !pending.isEmpty(); }

private:
    QByteArray pending;
    // Where a tail could still begin: the bytes before it were searched already.
    int searched = 0;
};

enum class AnswerMode
{
    Ack,
    Programmed,
    Once,
    Silent,
    Split
};

// A logo of garbage breaks every frame many times over; the log keeps the first
// ones and counts the rest.
constexpr int maxListedViolations = 100;

struct ReceivedLogo
{
    int placement = 0; // 0 header, 1 footer
    QByteArrayList rows;
    int frames = 0;
    qint64 bytes = 0;
    QList<FrameViolation> violations; // the first maxListedViolations of them
    int moreViolations = 0;           // found beyond those
    QDateTime start;
    QDateTime end;
    bool complete = false; // from row 01 to the last-row flag, and taken
    bool refused = false;  // answered as already programmed

    void addViolation(const FrameViolation &violation);
    int violationCount() const { return int(violations.size()) + moreViolations; }
};

// What a printer holds in its header and its footer.
struct PrinterMemory
{
    QByteArrayList held[2];
};

// One link's reception of logos, frame by frame, into the printer's memory.
class LogoReceiver
{
public:
    LogoReceiver(PrinterMemory &memory, AnswerMode mode) : memory(memory), mode(mode) {}

    // Takes one frame; returns the logos it ended (one cut short by a new row 01,
    // one finished by this frame). `refused` tells whether to answer "programmed".
    QList<ReceivedLogo> take(const QByteArray &frame, const QDateTime &at, bool *refused);
    // Ends the logo in progress, if any, as incomplete.
    std::optional<ReceivedLogo> interrupt(const QDateTime &at);

private:
    PrinterMemory &memory;
    AnswerMode mode;
    std::optional<ReceivedLogo> current;
    int expectedRow = 1;
    // The last logo ended by its flag: a frame carrying on from it shows the flag
    // came too early.
    int finishedRow = 0;
    int finishedPlacement = -1;
};
