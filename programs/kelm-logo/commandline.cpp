#include "programs/kelm-logo/commandline.h"

#include "core/logo/greylevels.h"

#include <QHostAddress>
#include <QSet>

#include <cmath>

namespace {

enum Scope
{
    Anywhere,
    Shared,
    PreviewOnly,
    ProgramOnly
};

struct OptionSpec
{
    const char *name; // with its dashes
    const char *alias;
    bool takesValue;
    bool repeatable;
    Scope scope;
};

const OptionSpec optionSpecs[] = {
    {"--help", "-h", false, true, Anywhere},
    {"--version", nullptr, false, true, Anywhere},
    {"--x", nullptr, true, false, Shared},
    {"--y", nullptr, true, false, Shared},
    {"--fit", nullptr, false, false, Shared},
    {"--footer", nullptr, false, false, Shared},
    {"--dither", nullptr, true, false, Shared},
    {"--level", nullptr, true, false, Shared},
    {"--brightness", nullptr, true, false, Shared},
    {"--output", "-o", true, false, PreviewOnly},
    {"--printers", nullptr, true, true, ProgramOnly},
    {"--all", nullptr, false, false, ProgramOnly},
    {"--tcp", nullptr, true, true, ProgramOnly},
    {"--serial", nullptr, true, false, ProgramOnly},
    {"--timeout", nullptr, true, false, ProgramOnly},
    {"--retries", nullptr, true, false, ProgramOnly},
    {"--jobs", nullptr, true, false, ProgramOnly},
    {"--report", nullptr, true, false, ProgramOnly},
    {"--json", nullptr, false, false, ProgramOnly},
    {"--journal", nullptr, true, false, ProgramOnly},
    {"--force", nullptr, false, false, ProgramOnly},
    {"--check", nullptr, false, false, ProgramOnly},
    {"--only-failed", nullptr, false, false, ProgramOnly},
    {"--detailed-exitcodes", nullptr, false, false, ProgramOnly},
};

const OptionSpec *findOption(const QString &name)
{
    for (const OptionSpec &spec : optionSpecs)
        if (name == QLatin1String(spec.name) || (spec.alias && name == QLatin1String(spec.alias)))
            return &spec;
    return nullptr;
}

bool parseInt(const QString &text, int min, int max, int *value)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (!ok || v < min || v > max)
        return false;
    *value = v;
    return true;
}

QString badValue(const QString &option, const QString &value, const QString &expected)
{
    return QStringLiteral("Nieprawidłowa wartość %1: „%2” (oczekiwano: %3).")
        .arg(option, value, expected);
}

} // namespace

bool splitHostPort(const QString &text, QString *host, quint16 *port)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString h = text.left(colon).trimmed();
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.mid(1, h.size() - 2);
    else if (h.contains(QLatin1Char(':')))
        return false; // an IPv6 address goes in brackets
    int p = 0;
    if (h.isEmpty() || !parseInt(text.mid(colon + 1), 1, 65535, &p))
        return false;
    *host = h;
    *port = quint16(p);
    return true;
}

bool wantsDetailedExitCodes(const QStringList &arguments)
{
    for (const QString &arg : arguments) {
        if (arg == QLatin1String("--"))
            return false;
        if (arg == QLatin1String("--detailed-exitcodes"))
            return true;
    }
    return false;
}

bool parseCommandLine(const QStringList &arguments, LogoCommand *command, QString *error)
{
    LogoCommand c;
    QStringList positional;
    QList<QPair<const OptionSpec *, QString>> given; // option, value
    QSet<const OptionSpec *> seen;
    bool optionsEnded = false;
    bool help = false;
    bool version = false;

    for (int i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            positional.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString name = arg;
        QString value;
        bool inlineValue = false;
        const int equals = arg.indexOf(QLatin1Char('='));
        if (arg.startsWith(QLatin1String("--")) && equals > 0) {
            name = arg.left(equals);
            value = arg.mid(equals + 1);
            inlineValue = true;
        }
        const OptionSpec *spec = findOption(name);
        if (!spec) {
            *error = QStringLiteral("Nieznana opcja: %1").arg(name);
            return false;
        }
        if (spec->takesValue && !inlineValue) {
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("Opcja %1 wymaga wartości.").arg(name);
                return false;
            }
            value = arguments.at(++i);
        } else if (!spec->takesValue && inlineValue) {
            *error = QStringLiteral("Opcja %1 nie przyjmuje wartości.").arg(name);
            return false;
        }
        if (seen.contains(spec) && !spec->repeatable) {
            *error = QStringLiteral("Opcja %1 podana więcej niż raz.").arg(spec->name);
            return false;
        }
        seen.insert(spec);
        if (spec == findOption(QStringLiteral("--help")))
            help = true;
        else if (spec == findOption(QStringLiteral("--version")))
            version = true;
        else
            given.append({spec, value});
    }

    const QString verb = positional.value(0);
    if (help || verb == QLatin1String("help")) {
        c.kind = LogoCommand::Help;
        c.helpTopic = verb == QLatin1String("help") ? positional.value(1) : verb;
        if (!c.helpTopic.isEmpty() && c.helpTopic != QLatin1String("preview") &&
            c.helpTopic != QLatin1String("program")) {
            *error =
                QStringLiteral("Nieznane polecenie: %1 (są: preview, program).").arg(c.helpTopic);
            return false;
        }
        *command = c;
        return true;
    }
    if (version) {
        c.kind = LogoCommand::Version;
        *command = c;
        return true;
    }
    if (verb.isEmpty()) {
        *error = QStringLiteral("Brak polecenia: preview albo program.");
        return false;
    }
    if (verb == QLatin1String("preview"))
        c.kind = LogoCommand::Preview;
    else if (verb == QLatin1String("program"))
        c.kind = LogoCommand::Program;
    else {
        *error = QStringLiteral("Nieznane polecenie: %1 (są: preview, program).").arg(verb);
        return false;
    }
    if (positional.size() < 2 || positional.at(1).isEmpty()) {
        *error = QStringLiteral("Brak pliku z obrazem: kelm-logo %1 OBRAZ ...").arg(verb);
        return false;
    }
    if (positional.size() > 2) {
        *error = QStringLiteral("Nadmiarowy argument: %1").arg(positional.at(2));
        return false;
    }
    c.picture = positional.at(1);

    bool xySet = false;
    bool levelSet = false;
    for (const auto &option : qAsConst(given)) {
        const OptionSpec *spec = option.first;
        const QString name = QLatin1String(spec->name);
        const QString &value = option.second;
        if ((spec->scope == PreviewOnly && c.kind != LogoCommand::Preview) ||
            (spec->scope == ProgramOnly && c.kind != LogoCommand::Program)) {
            *error = QStringLiteral("Opcja %1 działa tylko z poleceniem %2.")
                         .arg(name, spec->scope == PreviewOnly ? QStringLiteral("preview")
                                                               : QStringLiteral("program"));
            return false;
        }
        bool ok = true;
        QString expected;
        if (name == QLatin1String("--x") || name == QLatin1String("--y")) {
            ok = parseInt(value, 1, 100, name == QLatin1String("--x") ? &c.xPercent : &c.yPercent);
            expected = QStringLiteral("liczba od 1 do 100");
            xySet = true;
        } else if (name == QLatin1String("--fit")) {
            c.fit = true;
        } else if (name == QLatin1String("--footer")) {
            c.footer = true;
        } else if (name == QLatin1String("--dither")) {
            ok = parseDither(value.trimmed(), &c.conversion.method);
            expected = QStringLiteral("diffusion, threshold albo atkinson");
        } else if (name == QLatin1String("--level")) {
            c.conversion.autoLevel = value.trimmed() == QLatin1String("auto");
            ok = c.conversion.autoLevel || parseInt(value, 1, 254, &c.conversion.level);
            expected = QStringLiteral("liczba od 1 do 254 albo auto");
            levelSet = true;
        } else if (name == QLatin1String("--brightness")) {
            ok = parseInt(value, darkestBrightness, lightestBrightness, &c.conversion.brightness);
            expected = QStringLiteral("liczba od %1 do +%2")
                           .arg(darkestBrightness)
                           .arg(lightestBrightness);
        } else if (name == QLatin1String("--output")) {
            c.output = value;
            ok = !value.isEmpty();
            expected = QStringLiteral("ścieżka pliku PNG");
        } else if (name == QLatin1String("--printers")) {
            c.printerFiles.append(value);
            ok = !value.isEmpty();
            expected = QStringLiteral("ścieżka pliku");
        } else if (name == QLatin1String("--all")) {
            c.all = true;
        } else if (name == QLatin1String("--tcp")) {
            QString host;
            quint16 port = 0;
            ok = splitHostPort(value, &host, &port);
            expected = QStringLiteral("ADRES:PORT, port od 1 do 65535");
            c.tcp.append(value.trimmed());
        } else if (name == QLatin1String("--serial")) {
            c.serial = value;
            ok = !value.isEmpty();
            expected = QStringLiteral("nazwa portu");
        } else if (name == QLatin1String("--timeout")) {
            bool number = false;
            c.timeoutSeconds = value.trimmed().toDouble(&number);
            ok = number && std::isfinite(c.timeoutSeconds) && c.timeoutSeconds >= 0.1 &&
                 c.timeoutSeconds <= 86400;
            expected = QStringLiteral("sekundy, od 0.1 do 86400");
        } else if (name == QLatin1String("--retries")) {
            ok = parseInt(value, 0, 100, &c.retries);
            expected = QStringLiteral("liczba od 0 do 100");
        } else if (name == QLatin1String("--jobs")) {
            ok = parseInt(value, 1, 1000000, &c.jobs);
            expected = QStringLiteral("liczba od 1 w górę; bez --jobs wszystkie naraz");
        } else if (name == QLatin1String("--report")) {
            c.report = value;
            ok = !value.isEmpty();
            expected = QStringLiteral("ścieżka pliku CSV");
        } else if (name == QLatin1String("--json")) {
            c.json = true;
        } else if (name == QLatin1String("--journal")) {
            c.journal = value;
            ok = !value.isEmpty();
            expected = QStringLiteral("ścieżka pliku");
        } else if (name == QLatin1String("--force")) {
            c.force = true;
        } else if (name == QLatin1String("--check")) {
            c.check = true;
        } else if (name == QLatin1String("--only-failed")) {
            c.onlyFailed = true;
        } else if (name == QLatin1String("--detailed-exitcodes")) {
            c.detailedExitCodes = true;
        }
        if (!ok) {
            *error = badValue(name, value, expected);
            return false;
        }
    }

    if (c.fit && xySet) {
        *error = QStringLiteral("--fit wyklucza --x i --y: dobiera je sam.");
        return false;
    }
    if (levelSet && c.conversion.method != Dither::Threshold) {
        *error = QStringLiteral("--level działa tylko z --dither threshold.");
        return false;
    }
    if (c.kind == LogoCommand::Preview && c.output.isEmpty()) {
        *error = QStringLiteral("Brak pliku wyjściowego: -o PLIK.png");
        return false;
    }
    if (c.kind == LogoCommand::Program) {
        if (c.all && c.printerFiles.isEmpty()) {
            *error = QStringLiteral("--all działa tylko z --printers.");
            return false;
        }
        if (c.onlyFailed && c.printerFiles.isEmpty()) {
            *error = QStringLiteral("--only-failed działa tylko z --printers RAPORT.csv.");
            return false;
        }
        if (c.printerFiles.isEmpty() && c.tcp.isEmpty() && c.serial.isEmpty()) {
            *error = QStringLiteral("Nie podano drukarek: --printers PLIK, --tcp ADRES:PORT "
                                    "albo --serial PORT.");
            return false;
        }
    }
    *command = c;
    return true;
}
