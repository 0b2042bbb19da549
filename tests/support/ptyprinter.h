#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QSocketNotifier>
#include <QString>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

// A stand-in printer for tests. FrameStream and PrinterAnswer know nothing of the
// transport, so a TCP/IP test printer can use them too.

// Cuts a printer's input into 130-byte frames, however the stream was split.
class FrameStream
{
public:
    QList<QByteArray> feed(const QByteArray &bytes)
    {
        pending += bytes;
        QList<QByteArray> whole;
        for (; pending.size() >= 130; pending.remove(0, 130))
            whole.append(pending.left(130));
        return whole;
    }

    QByteArray pending;
};

// What the printer does with one frame.
struct PrinterAnswer
{
    QByteArray first;  // written at once (nothing: the printer stays silent)
    QByteArray second; // if set, written only after the program has read `first`

    static PrinterAnswer ack(char byte = 0x64) { return {QByteArray(1, byte), {}}; }
    static PrinterAnswer programmed(char byte = 0x60) { return {QByteArray(1, byte), {}}; }
    static PrinterAnswer silent() { return {}; }
    static PrinterAnswer split(const QByteArray &a, const QByteArray &b) { return {a, b}; }
};

// A pseudo-terminal pair: the test holds the master, the program opens slavePath().
class PtyPair
{
public:
    PtyPair()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
            ptsname_r(master, name, sizeof name) != 0)
            return;
        path = QString::fromLocal8Bit(name);
        makeRaw(master);
        // Held open: the master then never reads a hang-up while the program's port
        // is closed, and the line is raw (no echo) before the program opens it.
        slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        makeRaw(slave);
    }
    ~PtyPair()
    {
        ::close(slave);
        ::close(master);
    }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return master >= 0 && slave >= 0; }
    int masterFd() const { return master; }
    QString slavePath() const { return path; }

    // Bytes sent to the program that it has not read yet.
    int unreadByProgram() const
    {
        int n = 0;
        return ::ioctl(slave, FIONREAD, &n) == 0 ? n : 0;
    }

    // The line as the program set it up.
    termios lineSettings() const
    {
        termios t{};
        ::tcgetattr(slave, &t);
        return t;
    }

    static void makeRaw(int fd)
    {
        termios t{};
        if (::tcgetattr(fd, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
        }
    }

private:
    int master = -1;
    int slave = -1;
    QString path;
};

// A printer on the test thread's event loop: it collects the frames the program
// writes and answers each from `answers`, then with `otherwise`.
class PtyPrinter : public PtyPair
{
public:
    PtyPrinter() : reader(masterFd(), QSocketNotifier::Read)
    {
        ::fcntl(masterFd(), F_SETFL, ::fcntl(masterFd(), F_GETFL) | O_NONBLOCK);
        QObject::connect(&reader, &QSocketNotifier::activated, [this] { readFrames(); });
        drainTimer.setInterval(1);
        QObject::connect(&drainTimer, &QTimer::timeout, [this] { pump(); });
    }

    // Bytes sent unasked, not as an answer to a frame.
    void write(const QByteArray &bytes) { queue(bytes, false); }

    QList<QByteArray> frames;
    QList<PrinterAnswer> answers;
    PrinterAnswer otherwise = PrinterAnswer::ack();

private:
    void readFrames()
    {
        char buffer[4096];
        const ssize_t n = ::read(masterFd(), buffer, sizeof buffer);
        if (n <= 0) {
            reader.setEnabled(n < 0 && errno == EAGAIN);
            return;
        }
        for (const QByteArray &frame : stream.feed(QByteArray(buffer, int(n)))) {
            frames.append(frame);
            const PrinterAnswer answer = answers.isEmpty() ? otherwise : answers.takeFirst();
            const bool split = !answer.second.isEmpty();
            if (!answer.first.isEmpty())
                queue(answer.first, split);
            if (split)
                queue(answer.second, true);
        }
    }

    void queue(const QByteArray &bytes, bool alone)
    {
        outbox.append({bytes, alone});
        pump();
    }

    // Writes in order; a piece that must be a read of its own waits until the
    // program has read everything sent before it.
    void pump()
    {
        while (!outbox.isEmpty()) {
            const int unread = unreadByProgram();
            if (outbox.first().second && unread > 0) {
                drainTimer.start();
                return;
            }
            const QByteArray bytes = outbox.takeFirst().first;
            if (::write(masterFd(), bytes.constData(), size_t(bytes.size())) != bytes.size())
                continue;
            // The kernel passes the bytes on a moment after the write. The program
            // shares this thread and cannot read meanwhile, so once they are seen
            // here, "nothing unread" later means "the program took them".
            QElapsedTimer landing;
            landing.start();
            while (unreadByProgram() < unread + bytes.size() && landing.elapsed() < 2000)
                QThread::yieldCurrentThread();
        }
        drainTimer.stop();
    }

    QSocketNotifier reader;
    QTimer drainTimer;
    FrameStream stream;
    QList<QPair<QByteArray, bool>> outbox; // bytes, must arrive alone
};
