#include "printers.h"

#include "logooutput.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A frame whose tail never comes is given up on after this quiet time.
constexpr int idleCutMs = 300;

} // namespace

PrinterLink::PrinterLink(const QString &printer, const QString &stem, PrinterMemory &memory,
                         const PrinterOptions &options, LogoOutput &output, QObject *parent)
    : QObject(parent), printer(printer), stem(stem), options(options), output(output),
      receiver(memory, options.mode)
{
    idleCut.setSingleShot(true);
    idleCut.setInterval(idleCutMs);
    connect(&idleCut, &QTimer::timeout, this, [this] {
        if (splitter.hasPending())
            takeFrame(splitter.flush());
    });
}

void PrinterLink::receive(const QByteArray &bytes)
{
    for (const QByteArray &frame : splitter.feed(bytes))
        takeFrame(frame);
    if (splitter.hasPending())
        idleCut.start();
    else
        idleCut.stop();
}

void PrinterLink::takeFrame(const QByteArray &frame)
{
    bool refused = false;
    const QList<ReceivedLogo> ended =
        receiver.take(frame, QDateTime::currentDateTimeUtc(), &refused);
    ++frames;
    const bool dropping = options.dropAfter > 0 && frames >= options.dropAfter && drop;
    // Answer first: the program's next frame then overlaps the bookkeeping.
    if (!dropping)
        answer(refused);
    for (const ReceivedLogo &logo : ended)
        output.record(printer, stem, logo);
    if (dropping) {
        interrupt();
        drop();
    }
}

void PrinterLink::answer(bool refused)
{
    if (options.mode == AnswerMode::Silent)
        return;
    int after = options.delayMs;
    if (options.wireBaud > 0)
        after += (simFrameSize * 10 * 1000 + options.wireBaud / 2) / options.wireBaud;
    if (refused) {
        send(QByteArray(1, '\0'), after);
    } else if (options.mode == AnswerMode::Split) {
        send(QByteArray(1, options.ackByte), after);
        // Apart in time, so that the program reads them as two answers.
        send(QByteArray(1, options.ackByte), after + 20);
    } else {
        send(QByteArray(1, options.ackByte), after);
    }
}

void PrinterLink::send(const QByteArray &bytes, int afterMs)
{
    if (afterMs <= 0) {
        if (write)
            write(bytes);
        return;
    }
    QTimer::singleShot(afterMs, Qt::PreciseTimer, this, [this, bytes] {
        if (write)
            write(bytes);
    });
}

void PrinterLink::interrupt()
{
    idleCut.stop();
    if (splitter.hasPending()) {
        // Bytes that never made a whole frame still count as the frame they began.
        bool refused = false;
        for (const ReceivedLogo &logo :
             receiver.take(splitter.flush(), QDateTime::currentDateTimeUtc(), &refused))
            output.record(printer, stem, logo);
    }
    if (const auto logo = receiver.interrupt(QDateTime::currentDateTimeUtc()))
        output.record(printer, stem, *logo);
}

TcpPrinter::TcpPrinter(const PrinterOptions &options, LogoOutput &output, QObject *parent)
    : QObject(parent), options(options), output(output), server(new QTcpServer(this))
{
    connect(server, &QTcpServer::newConnection, this, &TcpPrinter::accept);
}

TcpPrinter::~TcpPrinter()
{
    // A socket closing in its destructor must not reach this half-gone printer.
    for (QTcpSocket *socket : findChildren<QTcpSocket *>(QString(), Qt::FindDirectChildrenOnly)) {
        socket->disconnect();
        delete socket;
    }
}

bool TcpPrinter::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (server->listen(address, port))
        return true;
    *error = QStringLiteral("cannot listen on %1:%2: %3")
                 .arg(address.toString())
                 .arg(port)
                 .arg(server->errorString());
    return false;
}

QString TcpPrinter::name() const
{
    const QHostAddress a = server->serverAddress();
    const QString host = a.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(a.toString())
                             : a.toString();
    return QStringLiteral("tcp %1:%2").arg(host).arg(server->serverPort());
}

void TcpPrinter::accept()
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        socket->setParent(this);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QString stem = name().replace(QLatin1Char(' '), QLatin1Char('-'));
        stem.replace(QLatin1Char(':'), QLatin1Char('-'));
        stem.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
        auto *link = new PrinterLink(name(), stem, memory, options, output, socket);
        links.append(link);
        link->write = [socket](const QByteArray &bytes) {
            if (socket->state() == QAbstractSocket::ConnectedState)
                socket->write(bytes);
        };
        link->drop = [socket] { socket->disconnectFromHost(); };
        connect(socket, &QTcpSocket::readyRead, link,
                [socket, link] { link->receive(socket->readAll()); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket, link] {
            link->interrupt();
            links.removeAll(link);
            socket->deleteLater();
        });
    }
}

void TcpPrinter::stop()
{
    server->close();
    for (const QPointer<PrinterLink> &link : links)
        if (link)
            link->interrupt();
}

SerialPrinter::SerialPrinter(const QString &path, const PrinterOptions &options, LogoOutput &output,
                             QObject *parent)
    : QObject(parent), path(path), options(options), output(output)
{
}

SerialPrinter::~SerialPrinter()
{
    stop();
    if (slave >= 0)
        ::close(slave);
    if (master >= 0)
        ::close(master);
}

bool SerialPrinter::open(QString *error)
{
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        *error = QStringLiteral("cannot open a pseudo-terminal: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    // Raw on both ends: no echo, no line editing, before the program opens it.
    for (const int fd : {master, slave}) {
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    devicePath = QString::fromLocal8Bit(::ttyname(slave));

    const QByteArray linkPath = QFile::encodeName(path);
    const QFileInfo existing(path);
    if (existing.isSymLink()) {
        ::unlink(linkPath.constData()); // stale, from a run that did not end cleanly
    } else if (existing.exists()) {
        *error = QStringLiteral("%1 exists and is not a symbolic link").arg(path);
        return false;
    }
    if (::symlink(QFile::encodeName(devicePath).constData(), linkPath.constData()) != 0) {
        *error = QStringLiteral("cannot make the link %1: %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    linked = true;

    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    QString stem = QStringLiteral("serial-") + QFileInfo(path).fileName();
    link = new PrinterLink(name(), stem, memory, options, output, this);
    link->write = [this](const QByteArray &bytes) {
        if (::write(master, bytes.constData(), size_t(bytes.size())) < 0)
            std::fprintf(stderr, "kelm-printer-sim: %s: answer not written\n", qPrintable(name()));
    };
    // The slave stays open here, so the master never reads a hang-up while the
    // program's port is closed.
    reader = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(reader, &QSocketNotifier::activated, this, &SerialPrinter::readMaster);
    return true;
}

void SerialPrinter::readMaster()
{
    char buffer[4096];
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n > 0)
        link->receive(QByteArray(buffer, int(n)));
    else if (n == 0 || errno != EAGAIN)
        reader->setEnabled(false);
}

void SerialPrinter::stop()
{
    if (link)
        link->interrupt();
    if (linked) {
        // Only our own link is removed, not one somebody put there since.
        const QByteArray linkPath = QFile::encodeName(path);
        if (QFileInfo(path).symLinkTarget() == devicePath)
            ::unlink(linkPath.constData());
        linked = false;
    }
}
