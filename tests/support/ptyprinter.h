#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

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

// What the printer answers to one frame: nothing (it stays silent), or one
// piece, or two pieces that reach the program as two reads.
struct PrinterAnswer
{
    QByteArray first;
    QByteArray second;

    static PrinterAnswer ack() { return {"\x64", {}}; }
    static PrinterAnswer programmed() { return {"\x60", {}}; }
    static PrinterAnswer silent() { return {}; }
};

// A pseudo-terminal pair: the test holds the master, the program opens slavePath().
// The slave is held open too: the master then never reads a hang-up while the
// program's port is closed, and the line is raw (no echo) before the program opens it.
class PtyPair
{
public:
    PtyPair()
    {
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            return;
        path = QString::fromLocal8Bit(::ttyname(slave));
        for (const int fd : {master, slave}) {
            termios t{};
            ::tcgetattr(fd, &t);
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
        }
    }
    ~PtyPair()
    {
        ::close(slave);
        ::close(master);
    }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return master >= 0 && slave >= 0; }
    // As if the printer's cable were pulled: the program's side hangs up.
    void closeMaster()
    {
        ::close(master);
        master = -1;
    }
    int masterFd() const { return master; }
    int slaveFd() const { return slave; }
    QString slavePath() const { return path; }

    // Bytes the program wrote that the printer has not read yet.
    int unreadByPrinter() const
    {
        int n = 0;
        return ::ioctl(master, FIONREAD, &n) == 0 ? n : 0;
    }
    // Bytes sent to the program that it has not read yet.
    int unreadByProgram() const
    {
        int n = 0;
        return ::ioctl(slave, FIONREAD, &n) == 0 ? n : 0;
    }

private:
    int master = -1;
    int slave = -1;
    QString path;
};

// A printer on the test thread's event loop: it collects the frames the program
// writes and answers each from `answers`, then with `otherwise`. Whatever it
// sends goes out piece by piece, each once the program has read all before it.
class PtyPrinter : public PtyPair
{
public:
    PtyPrinter() : reader(masterFd(), QSocketNotifier::Read)
    {
        ::fcntl(masterFd(), F_SETFL, ::fcntl(masterFd(), F_GETFL) | O_NONBLOCK);
        QObject::connect(&reader, &QSocketNotifier::activated, [this] { readFrames(); });
        QObject::connect(&drainTimer, &QTimer::timeout, [this] { write({}); });
    }

    void unplug()
    {
        reader.setEnabled(false);
        closeMaster();
    }

    // Sends bytes unasked, not as an answer to a frame.
    void write(const QByteArray &bytes)
    {
        if (!bytes.isEmpty())
            outbox.append(bytes);
        while (!outbox.isEmpty()) {
            if (unreadByProgram() > 0) {
                drainTimer.start(1);
                return;
            }
            const QByteArray piece = outbox.takeFirst();
            if (::write(masterFd(), piece.constData(), size_t(piece.size())) != piece.size())
                continue;
            // The kernel passes the bytes on a moment after the write. A program
            // sharing this thread cannot read meanwhile, so once they are seen
            // here, "nothing unread" later means "the program took them". One in
            // a process of its own may have read them already: no wait then.
            QElapsedTimer landing;
            landing.start();
            while (programInThisThread && unreadByProgram() < piece.size() &&
                   landing.elapsed() < 2000)
                QThread::yieldCurrentThread();
        }
        drainTimer.stop();
    }

    // Everything sent has reached the program, which has read it.
    bool allTaken() const { return outbox.isEmpty() && unreadByProgram() == 0; }

    QList<QByteArray> frames;
    QList<PrinterAnswer> answers;
    PrinterAnswer otherwise = PrinterAnswer::ack();
    // False when the program is another process (kelm-logo).
    bool programInThisThread = true;

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
            write(answer.first);
            write(answer.second);
        }
    }

    QSocketNotifier reader;
    QTimer drainTimer;
    FrameStream stream;
    QByteArrayList outbox;
};
