#include "transfer/connection.h"

#include "app/notifier.h"
#include "transfer/frame.h"
#include "transfer/printerreply.h"

namespace {

const char appTitle[] = "Kelm Graphics";

} // namespace

Connection::Connection(QTcpSocket *socket, int lineCount, Notifier *notifier)
    : socket(socket), lineCount(lineCount), notifier(notifier)
{
    const bool wired =
        connect(socket, SIGNAL(readyRead()), this, SLOT(readTcpData())) &&
        connect(socket, SIGNAL(connected()), this, SLOT(connectAccepted())) &&
        connect(socket, SIGNAL(error(QAbstractSocket::SocketError)), this,
                SLOT(displayError(QAbstractSocket::SocketError)));
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

void Connection::cancelSend()
{
    currentLine = lineCount + 1;
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
    if (currentLine > lineCount)
        return;
    // A row the payload does not hold, or a frame that is not whole, is not
    // sent in part: the printer would store a corrupt logo. The transfer stops.
    if (!fillFrameRow(frame, currentLine, lineCount, *payload)) {
        currentLine = lineCount + 1;
        if (!reported)
            critical(QStringLiteral("Poza tablicą!"));
        return;
    }
    if (!socket || socket->write(frame) == -1) {
        currentLine = lineCount + 1;
        replyAwaited = false;
        critical(QStringLiteral("Błąd transmisji TCP/IP"));
        return;
    }
    // Out now rather than on the next pass of the event loop.
    socket->flush();
    replyAwaited = true;
}

void Connection::readTcpData()
{
    if (!socket)
        return;
    lastReply = socket->readAll();
    // A notification without bytes (the printer hanging up) is no answer.
    if (lastReply.isEmpty())
        return;
    const bool answer = replyAwaited;
    replyAwaited = false;
    const bool running = answer && currentLine <= lineCount;
    if (isAlreadyProgrammedReply(lastReply)) {
        // Set before the box: its event loop may deliver more bytes.
        if (running)
            currentLine = lineCount;
        critical(QStringLiteral("Grafika już zaprogramowana"));
    }
    if (!running)
        return;
    if (currentLine == lineCount)
        emit finished();
    ++currentLine;
    if (currentLine <= lineCount)
        sendLine();
}

void Connection::connectAccepted() {}

void Connection::displayError(QAbstractSocket::SocketError socketError)
{
    QString text;
    switch (socketError) {
    case QAbstractSocket::RemoteHostClosedError:
        return;
    case QAbstractSocket::HostNotFoundError:
        text = QStringLiteral("Nie znaleziono hosta. Upewnij się że ustawienia ip i portu hosta "
                              "są prawidłowe");
        break;
    case QAbstractSocket::ConnectionRefusedError:
        text = QStringLiteral("Połączenie zostało odrzucone przez zdalny serwer.Upewnij się że "
                              "jest on włączony, oraz upewnij się że jego ustawienia ip i numer "
                              "portu są prawidłowe");
        break;
    default:
        text = tr("Wystąpił następujący błąd: %1.")
                   .arg(socket ? socket->errorString() : QString());
    }
    notifier->information(QLatin1String(appTitle), text, printerDetail());
}

void Connection::critical(const QString &text)
{
    notifier->critical(QLatin1String(appTitle), text, printerDetail());
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
