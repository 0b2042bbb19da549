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

QString helpText(const QString &topic)
{
    const QString head = QStringLiteral(
        "kelm-logo: przygotowuje logo i programuje je do drukarek Kelm Qarto 3,\n"
        "bez okna, z wiersza poleceń. Ten sam obraz i te same ustawienia dają co do\n"
        "bajtu te same ramki, które wysyła okno programu.\n"
        "\n"
        "Użycie:\n"
        "  kelm-logo preview OBRAZ -o WYJŚCIE.png [opcje obrazu]\n"
        "  kelm-logo program OBRAZ DRUKARKI... [opcje obrazu] [opcje wysyłania]\n"
        "  kelm-logo --help | kelm-logo help preview | kelm-logo help program\n");
    const QString preview = QStringLiteral(
        "\n"
        "preview: zapisuje logo tak, jak przechowa je drukarka (416 punktów szerokości,\n"
        "piksel na punkt, tyle wierszy, ile ma logo, czarne punkty), i podaje jego\n"
        "rozmiar w punktach, liczbę ramek i bajtów.\n"
        "  -o, --output PLIK.png   gdzie zapisać obraz logo\n"
        "                          np. kelm-logo preview logo.png -o podglad.png\n");
    const QString picture = QStringLiteral(
        "\n"
        "Opcje obrazu (preview i program):\n"
        "  --x PROCENT             szerokość w procentach pola logo 416 punktów\n"
        "                          (1-100, domyślnie 100, jak suwak w oknie)\n"
        "                          np. --x 50   (logo na 208 punktów, wyśrodkowane)\n"
        "  --y PROCENT             wysokość w procentach 96 wierszy (1-100, domyślnie 100)\n"
        "                          np. --y 50   (48 wierszy, 48 ramek)\n"
        "  --fit                   dobiera --x i --y tak, by obraz zachował własne\n"
        "                          proporcje, jak „Dopasuj proporcje”\n"
        "                          np. kelm-logo preview ikona.png --fit -o p.png\n"
        "  --footer                logo do stopki (domyślnie do nagłówka)\n"
        "                          np. kelm-logo program logo.png --footer --tcp 10.0.0.5:9100\n"
        "  --dither METODA         zamiana na 1 bit: diffusion (rozpraszanie błędu,\n"
        "                          domyślnie), threshold (próg, do tekstu i grafiki),\n"
        "                          atkinson (czyste białe pola, do zdjęć)\n"
        "                          np. --dither threshold\n"
        "  --level N|auto          próg jasności dla --dither threshold (1-254,\n"
        "                          domyślnie 128; ciemniejsze punkty są czarne);\n"
        "                          auto dobiera go do obrazu w rozmiarze logo (metoda\n"
        "                          Otsu), jak „Automatyczny” w podglądzie wydruku\n"
        "                          np. --dither threshold --level 160\n"
        "                          np. --dither threshold --level auto\n"
        "  --brightness N          jasność przed zamianą na 1 bit, każdą metodą:\n"
        "                          od -100 (ciemniej) do +100 (jaśniej), domyślnie 0\n"
        "                          (bez zmian), jak „Jasność” w podglądzie wydruku\n"
        "                          np. --dither atkinson --brightness 30\n");
    const QString program = QStringLiteral(
        "\n"
        "program: programuje logo, ramka po ramce, każda po odpowiedzi drukarki na\n"
        "poprzednią, do wszystkich podanych drukarek naraz. Każdą próbę zapisuje w\n"
        "dzienniku; drukarki, które według niego mają już to logo, pomija („bez\n"
        "zmian”), więc ponowne uruchomienie robi tylko to, czego brakuje.\n"
        "Drukarki (co najmniej jedno z trzech; można łączyć):\n"
        "  --printers PLIK         settings.txt programu (jego zaznaczone drukarki),\n"
        "                          plik CSV drukarek (nazwa;adres;port[;1/0]) jak przy\n"
        "                          „Importuj...” albo raport (--report, „Zapisz\n"
        "                          raport...”); można podać kilka razy\n"
        "                          np. --printers sklepy.csv\n"
        "  --only-failed           z raportem w --printers: tylko drukarki, którym\n"
        "                          ponowienie może pomóc (bez już zaprogramowanych\n"
        "                          i limitu zapisów)\n"
        "                          np. --printers wynik.csv --only-failed\n"
        "  --all                   z --printers: także drukarki niezaznaczone\n"
        "                          np. --printers settings.txt --all\n"
        "  --tcp ADRES:PORT        jedna drukarka TCP/IP; można podać wiele razy\n"
        "                          np. --tcp 192.168.1.50:9100 --tcp [fd00::7]:9100\n"
        "  --serial PORT           jedna drukarka na porcie szeregowym, 9600 8N1\n"
        "                          np. --serial /dev/ttyUSB0\n"
        "Opcje wysyłania:\n"
        "  --timeout S             drukarka, która nie odpowiada przez S sekund albo\n"
        "                          nie przyjmuje połączenia w S sekund, zawiodła\n"
        "                          (domyślnie %1)   np. --timeout 30\n"
        "  --retries N             drukarkę, która zawiodła (odrzucone połączenie,\n"
        "                          nieznany host, brak odpowiedzi, rozłączenie, błąd\n"
        "                          zapisu), próbuje jeszcze do N razy od wiersza 1,\n"
        "                          na nowym połączeniu, po przerwie 1,5 s; nigdy\n"
        "                          drukarki już zaprogramowanej (domyślnie 0)\n"
        "                          np. --retries 2\n"
        "  --jobs K                najwyżej K drukarek naraz, K od 1 (domyślnie\n"
        "                          wszystkie, ile pozwala limit otwartych plików)\n"
        "                          np. --jobs 50\n"
        "  --journal PLIK          dziennik tego, co dostała każda drukarka (domyślnie\n"
        "                          $XDG_STATE_HOME/kelm-graphics/journal.csv albo\n"
        "                          ~/.local/state/kelm-graphics/journal.csv)\n"
        "                          np. --journal /var/lib/kelm/journal.csv\n"
        "  --force                 programuje także drukarki, które według dziennika\n"
        "                          mają już to logo („bez zmian”) albo wyczerpały\n"
        "                          limit 10 zapisów na dobę („limit zapisów”)\n"
        "  --check                 próba na sucho: sprawdza obraz i drukarki, łączy się\n"
        "                          z każdą i rozłącza, nie wysyła żadnej ramki\n"
        "                          (wynik: do zaprogramowania, bez zmian, limit\n"
        "                          zapisów albo błąd połączenia)\n"
        "  --detailed-exitcodes    kody wyjścia dla narzędzi konfiguracji (niżej)\n"
        "  --report PLIK.csv       raport jak „Zapisz raport...” w oknie\n"
        "                          np. --report wynik.csv\n"
        "  --json                  na standardowe wyjście jeden obiekt JSON na drukarkę,\n"
        "                          w wierszu, gdy kończy (klucze: printer, name, address,\n"
        "                          port, outcome, rows_sent, rows, seconds, attempts),\n"
        "                          na końcu wiersz {\"summary\": {...}} z liczbami\n"
        "                          drukarek według wyniku;\n"
        "                          opis przebiegu idzie wtedy na standardowe wyjście błędów\n"
        "                          np. --json > wynik.jsonl\n"
        "\n"
        "Na terminalu jeden wiersz stanu jest odświeżany w miejscu; w innym razie\n"
        "wiersz na każdą drukarkę, gdy kończy. Na końcu: tabela drukarek, które nie\n"
        "zostały zaprogramowane, i podsumowanie.\n"
        "Ctrl+C (albo SIGTERM): bez nowych ramek, krótko czeka na odpowiedzi w drodze,\n"
        "podaje stan każdej drukarki i kończy z kodem 1; drugie kończy od razu, także\n"
        "z raportem i wierszami JSON, trzecie bez niczego.\n"
        "\n"
        "Kod wyjścia: 0, gdy każda drukarka została zaprogramowana; 1, gdy któraś nie\n"
        "(także już zaprogramowana: nowego logo na niej nie ma); 2 przy błędzie w\n"
        "poleceniu albo w danych (obraz nie do odczytania, błędne wiersze pliku\n"
        "drukarek); wtedy nic nie zostaje wysłane; 3, gdy nie udało się zapisać raportu\n"
        "(--report; poprzedni plik zostaje bez zmian). „Bez zmian” i „do\n"
        "zaprogramowania” (--check) liczą się jak zaprogramowana.\n"
        "Z --detailed-exitcodes:\n"
        "  0  nic do zrobienia i żadnego błędu (wszystkie bez zmian)\n"
        "  2  co najmniej jedna drukarka zaprogramowana (z --check: do\n"
        "     zaprogramowania), żadnego błędu\n"
        "  4  co najmniej jeden błąd (także już zaprogramowana, limit zapisów,\n"
        "     Ctrl+C, raport niezapisany), żadna zaprogramowana\n"
        "  6  jedno i drugie\n"
        "  1  błąd w poleceniu albo w danych; nic nie zostaje wysłane\n"
        "\n"
        "Przykład:\n"
        "  kelm-logo program logo.png --printers sklepy.csv --retries 2 --report wynik.csv\n");
    if (topic == QLatin1String("preview"))
        return head + preview + picture;
    if (topic == QLatin1String("program"))
        return head + picture + program.arg(Timing::answerTimeoutMs / 1000);
    return head + preview + picture + program.arg(Timing::answerTimeoutMs / 1000);
}
