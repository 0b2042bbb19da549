#include "simulator.h"

#include "printers.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// Hundreds of printers need more descriptors than the usual soft limit.
void raiseFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

bool parseNumber(const QString &text, int min, int max, int *value)
{
    bool ok = false;
    const int v = text.toInt(&ok, 0);
    if (!ok || v < min || v > max)
        return false;
    *value = v;
    return true;
}

struct TcpSpec
{
    QHostAddress address;
    int first;
    int last;
    PrinterOptions options;
};

struct SerialSpec
{
    QString path;
    PrinterOptions options;
};

// HOST:PORT or HOST:PORT-PORT2; HOST may be [IPv6].
bool parseTcp(const QString &text, TcpSpec *spec)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    spec->address = host == QLatin1String("localhost") ? QHostAddress(QHostAddress::LocalHost)
                                                       : QHostAddress(host);
    if (spec->address.isNull())
        return false;
    const QStringList ports = text.mid(colon + 1).split(QLatin1Char('-'));
    if (ports.size() > 2 || !parseNumber(ports.first(), 0, 65535, &spec->first))
        return false;
    spec->last = spec->first;
    if (ports.size() == 2 &&
        (!parseNumber(ports.last(), spec->first, 65535, &spec->last) || spec->first == 0))
        return false;
    return true;
}

} // namespace

Simulator::Simulator() = default;

Simulator::~Simulator()
{
    stop();
    // Before the output they write to goes.
    qDeleteAll(tcpPrinters);
    qDeleteAll(serialPrinters);
    if (signalReader) {
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
}

QString Simulator::usage()
{
    return QStringLiteral(
        "Usage: kelm-printer-sim [printer options] --tcp HOST:PORT[-PORT2] | --serial PATH ...\n"
        "Plays receipt printers until SIGINT or SIGTERM.\n"
        "  --tcp HOST:PORT[-PORT2]  a printer per port (0: the system chooses)\n"
        "  --serial PATH            a printer on a new pseudo-terminal linked at PATH\n"
        "  --out DIR                a PNG per logo received and DIR/log.jsonl\n"
        "  --allow-remote           let printers listen on addresses other than loopback\n"
        "Printer options apply to every printer named after them, until given again:\n"
        "  --answer ack|programmed|once|silent|split   (default ack)\n"
        "  --ack-byte N             the acknowledgement byte (default 0x64)\n"
        "  --delay MS               delay every answer\n"
        "  --wire-speed BAUD        answer as if each frame crossed a line at BAUD (0: off)\n"
        "  --drop-after K           close a TCP connection after K frames (0: never)\n");
}

bool Simulator::start(const QStringList &arguments, QString *error)
{
    QList<TcpSpec> tcpSpecs;
    QList<SerialSpec> serialSpecs;
    PrinterOptions options;
    bool optionsUsed = true;
    bool allowRemote = false;
    QString outFolder;

    for (int i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            *error = usage();
            return false;
        }
        if (arg == QLatin1String("--allow-remote")) {
            allowRemote = true;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            *error = QStringLiteral("%1 needs a value\n\n").arg(arg) + usage();
            return false;
        }
        const QString value = arguments.at(++i);
        int number = 0;
        bool ok = true;
        if (arg == QLatin1String("--tcp")) {
            TcpSpec spec;
            ok = parseTcp(value, &spec);
            spec.options = options;
            tcpSpecs.append(spec);
            optionsUsed = true;
        } else if (arg == QLatin1String("--serial")) {
            serialSpecs.append({value, options});
            optionsUsed = true;
        } else if (arg == QLatin1String("--out")) {
            outFolder = value;
        } else if (arg == QLatin1String("--answer")) {
            static const QStringList modes{"ack", "programmed", "once", "silent", "split"};
            ok = modes.contains(value);
            options.mode = AnswerMode(modes.indexOf(value));
            optionsUsed = false;
        } else if (arg == QLatin1String("--ack-byte")) {
            ok = parseNumber(value, 0, 255, &number);
            options.ackByte = char(number);
            optionsUsed = false;
        } else if (arg == QLatin1String("--delay")) {
            ok = parseNumber(value, 0, 3600000, &options.delayMs);
            optionsUsed = false;
        } else if (arg == QLatin1String("--wire-speed")) {
            ok = parseNumber(value, 0, 10000000, &options.wireBaud);
            optionsUsed = false;
        } else if (arg == QLatin1String("--drop-after")) {
            ok = parseNumber(value, 0, 1000000, &options.dropAfter);
            optionsUsed = false;
        } else {
            *error = QStringLiteral("unknown option %1\n\n").arg(arg) + usage();
            return false;
        }
        if (!ok) {
            *error = QStringLiteral("bad value for %1: %2").arg(arg, value);
            return false;
        }
    }
    if (!optionsUsed) {
        *error = QStringLiteral("printer options apply to the printers named after them; "
                                "none follows the last one");
        return false;
    }
    if (tcpSpecs.isEmpty() && serialSpecs.isEmpty()) {
        *error = usage();
        return false;
    }
    for (const TcpSpec &spec : tcpSpecs) {
        if (!spec.address.isLoopback() && !allowRemote) {
            *error = QStringLiteral("%1 is not a loopback address; --allow-remote lets "
                                    "printers listen there")
                         .arg(spec.address.toString());
            return false;
        }
    }
    if (!outFolder.isEmpty() && !QDir().mkpath(outFolder)) {
        *error = QStringLiteral("cannot make the folder %1").arg(outFolder);
        return false;
    }

    raiseFileLimit();
    ::signal(SIGPIPE, SIG_IGN);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        *error = QStringLiteral("cannot make the signal pipe");
        return false;
    }
    signalReader = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(signalReader, &QSocketNotifier::activated, this, [this] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
        stop();
        QCoreApplication::exit(0);
    });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    output = std::make_unique<LogoOutput>(outFolder);
    QStringList lines;
    for (const TcpSpec &spec : tcpSpecs) {
        for (int port = spec.first; port <= spec.last; ++port) {
            auto *printer = new TcpPrinter(spec.options, *output, this);
            tcpPrinters.append(printer);
            if (!printer->listen(spec.address, quint16(port), error))
                return false;
            lines.append(printer->name());
        }
    }
    for (const SerialSpec &spec : serialSpecs) {
        auto *printer = new SerialPrinter(spec.path, spec.options, *output, this);
        serialPrinters.append(printer);
        if (!printer->open(error))
            return false;
        lines.append(printer->name() + QStringLiteral(" -> ") + printer->device());
    }
    lines.append(QStringLiteral("ready"));
    std::printf("%s\n", qPrintable(lines.join(QLatin1Char('\n'))));
    std::fflush(stdout);
    return true;
}

void Simulator::stop()
{
    if (stopped)
        return;
    stopped = true;
    for (TcpPrinter *printer : tcpPrinters)
        printer->stop();
    for (SerialPrinter *printer : serialPrinters)
        printer->stop();
    std::fflush(stdout);
}
