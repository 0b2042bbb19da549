#include "core/transfer/connection.h"

#include "core/product.h"
#include "core/printer/frame.h"
#include "core/printer/printerreply.h"

#include <QTimer>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/socket.h>
#endif

namespace {

// Enough of an answer to tell a one-byte one; the rest is only counted.
constexpr int keptReply = 8;

// Marks the time spent in a socket's notification: a box raised then waits for
// the slot to return, so that the socket keeps being read.
struct InsideSocket
{
    InsideSocket(int &depth, bool inside) : depth(depth), inside(inside) { depth += inside; }
    ~InsideSocket() { depth -= inside; }
    int &depth;
    const bool inside;
};

} // namespace

Connection::Connection(QTcpSocket *socket, int lineCount, Notifier *notifier)
    : socket(socket), lineCount(lineCount), notifier(notifier)
{
    lastReply.reserve(keptReply);
    floodClock.start();
    const bool wired = connect(socket, SIGNAL(readyRead()), this, SLOT(readTcpData())) &&
                       connect(socket, SIGNAL(connected()), this, SLOT(connectAccepted())) &&
                       connect(socket, SIGNAL(error(QAbstractSocket::SocketError)), this,
                               SLOT(displayError(QAbstractSocket::SocketError))) &&
                       connect(socket, &QTcpSocket::disconnected, this, &Connection::lineDropped);
    if (!wired)
        critical(QStringLiteral("Nieokreślony błąd"));
}

void Connection::setTransferData(const QByteArray *logoHex, const QByteArray &frameTemplate)
{
    payload = logoHex;
    frame = frameTemplate;
}

void Connection::setPrinter(const QString &name, const QString &address, quint16 port)
{
    printerName = name;
    printerAddress = address;
    printerPort = port;
}

qint64 Connection::elapsedMs() const
{
    return state == PrinterOutcome::Sending ? clock.elapsed() : endedMs;
}

void Connection::setAnswerTimeout(int ms, bool endsTransfer)
{
    answerTimeoutMs = std::max(ms, 0);
    timeoutEnds = endsTransfer;
    if (watch)
        watch->stop();
    if (answerTimeoutMs == 0 && silence) {
        silence = false;
        emit outcomeChanged();
    }
    if (answerTimeoutMs > 0 && state == PrinterOutcome::Sending)
        startWatch();
}

void Connection::setOutcome(PrinterOutcome outcome)
{
    // Only a written frame starts a transfer.
    if (outcome == PrinterOutcome::Sending)
        return;
    if (state == PrinterOutcome::Sending && hasEnded(outcome)) {
        currentLine = lineCount + 1;
        replyAwaited = false;
    }
    end(outcome);
}

void Connection::setFloodLimit(qint64 bytes, int ms)
{
    floodBytes = std::max<qint64>(bytes, 1);
    floodPerMs = std::max(ms, 1);
}

void Connection::cancelSend()
{
    currentLine = lineCount + 1;
    // A printer stopped while silent never answered: that stays its outcome.
    if (state == PrinterOutcome::Sending)
        end(silence ? PrinterOutcome::NoAnswer : PrinterOutcome::Stopped);
}

void Connection::begin()
{
    if (state == PrinterOutcome::Sending)
        return;
    clock.start();
    writtenMs = 0;
    endedMs = 0;
    unconfirmed = false;
    acked = std::max(currentLine - 1, 0);
    silence = false;
    state = PrinterOutcome::Sending;
    emit outcomeChanged();
    startWatch();
}

void Connection::startWatch()
{
    if (answerTimeoutMs > 0) {
        if (!watch) {
            watch = new QTimer(this);
            watch->setTimerType(Qt::CoarseTimer);
            connect(watch, &QTimer::timeout, this, &Connection::checkSilence);
        }
        // Coarse and started once per transfer: a look now and then at the
        // time of the last frame costs nothing per answer.
        watch->start(std::clamp(answerTimeoutMs / 4, 20, 1000));
    }
}

void Connection::end(PrinterOutcome outcome)
{
    if (state == PrinterOutcome::Sending && outcome != PrinterOutcome::Sending) {
        endedMs = clock.elapsed();
        if (watch)
            watch->stop();
    }
    const bool changed = state != outcome || silence;
    state = outcome;
    silence = false;
    if (changed)
        emit outcomeChanged();
}

void Connection::checkSilence()
{
    if (state != PrinterOutcome::Sending || answerTimeoutMs <= 0) {
        watch->stop();
        return;
    }
    if (!replyAwaited || silence || clock.elapsed() - writtenMs < answerTimeoutMs)
        return;
    if (timeoutEnds) {
        currentLine = lineCount + 1;
        replyAwaited = false;
        end(PrinterOutcome::NoAnswer);
        return;
    }
    silence = true;
    emit outcomeChanged();
}

void Connection::sendLine()
{
    // Nothing was handed over yet: there is no row to fill.
    if (!payload)
        return;
    const int frameSize = frame.size();
    const int payloadSize = payload->size();
    // One box per line is enough to say it.
    bool reported = frameSize < 10 || payloadSize < 10;
    if (reported)
        critical(QStringLiteral("Poza tablicą!"));

    emit value(currentLine);
    if (currentLine > lineCount) {
        // A start with nothing to send has failed; it must not look like waiting.
        if (state != PrinterOutcome::Sending)
            end(PrinterOutcome::WriteError);
        return;
    }
    // A row the payload does not hold, or a frame that is not whole, is not
    // sent in part: the printer would store a corrupt logo. The transfer stops.
    if (!fillFrameRow(frame, currentLine, lineCount, *payload)) {
        currentLine = lineCount + 1;
        replyAwaited = false;
        end(PrinterOutcome::WriteError);
        if (!reported)
            critical(QStringLiteral("Poza tablicą!"));
        return;
    }
    begin();
    if (!socket || socket->write(frame) == -1) {
        currentLine = lineCount + 1;
        replyAwaited = false;
        end(PrinterOutcome::WriteError);
        // Qt only notes the failure on an unbuffered socket; closing it lets the
        // status line and the printer table see that the line is gone.
        if (socket && socket->state() == QAbstractSocket::ConnectedState)
            socket->abort();
        critical(QStringLiteral("Błąd transmisji TCP/IP"));
        return;
    }
    // Out now rather than on the next pass of the event loop.
    socket->flush();
    sentRow = currentLine;
    replyAwaited = true;
    writtenMs = clock.elapsed();
}

void Connection::readTcpData()
{
    if (!socket)
        return;
    InsideSocket inside(insideSocket, true);
    // Everything that came is read, in small pieces, and only its first bytes kept.
    lastReply.resize(0); // keeps its few reserved bytes
    qint64 arrived = 0;
    char chunk[4096];
    for (bool first = true;; first = false) {
        const qint64 got = receive(chunk, sizeof chunk, first);
        if (got < 0)
            return;
        if (lastReply.size() < keptReply)
            lastReply.append(chunk, int(std::min<qint64>(got, keptReply - lastReply.size())));
        arrived += got;
        if (got < qint64(sizeof chunk))
            break;
    }
    if (arrived == 0)
        return;

    const bool answer = replyAwaited;
    replyAwaited = false;
    if (flooded(answer ? arrived - 1 : arrived) &&
        socket->state() == QAbstractSocket::ConnectedState) {
        currentLine = lineCount + 1;
        if (state == PrinterOutcome::Sending)
            end(PrinterOutcome::HungUp);
        socket->abort();
        critical(QStringLiteral("Drukarka przysłała ponad %1 KiB danych, o które program nie "
                                "prosił; połączenie z nią zostało zerwane.")
                     .arg(floodBytes / 1024));
        return;
    }
    // Nothing awaited this: not an answer.
    if (!answer)
        return;
    if (silence) {
        silence = false;
        emit outcomeChanged();
    }
    const bool running = currentLine <= lineCount;
    const bool programmed = isAlreadyProgrammedReply(lastReply);
    // Anything but the one acknowledgement byte still moves on, but an echo or a
    // web server answering every frame must not end as programmed.
    if (running && !programmed && !isAcknowledgement(lastReply, arrived))
        unconfirmed = true;
    if (programmed) {
        if (running)
            currentLine = lineCount;
        critical(QStringLiteral("Grafika już zaprogramowana"));
    } else if (running) {
        acked = sentRow;
    }
    if (!running)
        return;
    if (currentLine == lineCount) {
        // Set before finished(): whoever counts finished printers reads it.
        end(programmed             ? PrinterOutcome::AlreadyProgrammed
            : sentRow != lineCount ? PrinterOutcome::Stopped
            : unconfirmed          ? PrinterOutcome::Unconfirmed
                                   : PrinterOutcome::Programmed);
        emit finished();
    }
    ++currentLine;
    if (currentLine <= lineCount)
        sendLine();
}

qint64 Connection::receive(char *data, qint64 size, bool first)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return -1;
    const bool unbuffered = socket->openMode().testFlag(QIODevice::Unbuffered);
#ifdef Q_OS_UNIX
    if (unbuffered) {
        // Read straight away: Qt would ask the kernel how much came (an ioctl)
        // before every answer, and a hang-up read through Qt closes the socket
        // without a word to anyone watching it.
        qint64 got;
        do
            got = ::recv(int(socket->socketDescriptor()), data, size_t(size), 0);
        while (got < 0 && errno == EINTR);
        if (got > 0 || (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))) {
            // Qt waits for a read of its own before it tells of the next bytes.
            socket->read(data, 0);
            return std::max<qint64>(got, 0);
        }
        // Closed now, the hang-up (or a failed line) is told to everyone watching.
        socket->abort();
        return -1;
    }
#endif
    // An unbuffered socket tells of the printer hanging up by a notification
    // without bytes, and the next read would turn it unconnected without a word.
    if (first && unbuffered && socket->bytesAvailable() <= 0) {
        socket->abort();
        return -1;
    }
    const qint64 got = socket->read(data, size);
    if (got < 0) // the read failed and Qt closed the unbuffered socket silently
        lineDropped();
    return got;
}

bool Connection::flooded(qint64 bytes)
{
    // A bucket drained at floodBytes per floodPerMs: bursts up to the limit pass,
    // a steady trickle below the rate never adds up. A bare acknowledgement adds
    // nothing to an empty bucket: no clock read for it.
    if (bytes == 0 && unasked == 0)
        return false;
    const qint64 now = floodClock.elapsed();
    const qint64 drained = (now - floodMs) * floodBytes / floodPerMs;
    if (drained > 0) {
        unasked = std::max<qint64>(unasked - drained, 0);
        floodMs = now;
    }
    if (unasked == 0)
        floodMs = now;
    unasked += bytes;
    return unasked > floodBytes;
}

void Connection::connectAccepted() {}

void Connection::displayError(QAbstractSocket::SocketError socketError)
{
    // Called by the socket, or directly.
    InsideSocket inside(insideSocket, sender() != nullptr);
    QString text;
    switch (socketError) {
    case QAbstractSocket::RemoteHostClosedError:
        return;
    case QAbstractSocket::HostNotFoundError:
        if (state != PrinterOutcome::Sending)
            end(PrinterOutcome::HostNotFound);
        text = QStringLiteral("Nie znaleziono hosta. Upewnij się że ustawienia ip i portu hosta "
                              "są prawidłowe");
        break;
    case QAbstractSocket::ConnectionRefusedError:
        if (state != PrinterOutcome::Sending)
            end(PrinterOutcome::Refused);
        text = QStringLiteral("Połączenie zostało odrzucone przez zdalny serwer.Upewnij się że "
                              "jest on włączony, oraz upewnij się że jego ustawienia ip i numer "
                              "portu są prawidłowe");
        break;
    default:
        text = tr("Wystąpił następujący błąd: %1.").arg(socket ? socket->errorString() : QString());
    }
    notify({Notice::Information, productName(), text, Notice::Ok});
}

void Connection::lineDropped()
{
    if (state != PrinterOutcome::Sending)
        return;
    currentLine = lineCount + 1;
    replyAwaited = false;
    end(PrinterOutcome::HungUp);
}

void Connection::critical(const QString &text)
{
    notify({Notice::Critical, productName(), text, Notice::Close});
}

void Connection::notify(Notice notice)
{
    notice.detail = printerDetail();
    // The same box already open or waiting for this printer says it already.
    if (boxes.contains(notice))
        return;
    boxes.append(notice);
    if (boxOpen || boxPosted)
        return;
    if (insideSocket == 0) {
        showBoxes();
        return;
    }
    boxPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            boxPosted = false;
            showBoxes();
        },
        Qt::QueuedConnection);
}

void Connection::showBoxes()
{
    if (boxOpen)
        return;
    if (!notifier) {
        boxes.clear();
        return;
    }
    QPointer<Connection> alive(this);
    while (!boxes.isEmpty()) {
        boxOpen = true;
        notifier->show(boxes.first());
        if (!alive)
            return;
        boxOpen = false;
        boxes.removeFirst();
    }
}

QString Connection::printerDetail() const
{
    QString address = printerAddress;
    quint16 port = printerPort;
    if (address.isEmpty() && socket) {
        address = socket->peerName();
        port = socket->peerPort();
    }
    const QString where = QStringLiteral("%1:%2").arg(address).arg(port);
    return printerName.isEmpty() ? QStringLiteral("Drukarka %1").arg(where)
                                 : QStringLiteral("Drukarka „%1”, %2").arg(printerName, where);
}
