#include "programs/kelm-logo/logotool.h"

#include "programs/kelm-logo/commandline.h"
#include "core/logo/logoconversion.h"
#include "core/logo/picturereader.h"
#include "programs/kelm-logo/jsonlines.h"
#include "programs/kelm-logo/logorun.h"
#include "programs/kelm-logo/printerlist.h"
#include "core/printer/frame.h"
#include "core/system/filedescriptors.h"
#include "core/system/safefile.h"
#include "core/system/signalwatch.h"
#include "core/transfer/journal.h"
#include "core/transfer/outcomecounts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace {

void say(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Bad input: 2, or 1 with --detailed-exitcodes (where 2 means "changed").
int badInputCode = 2;

int usageError(const QString &text)
{
    say(stderr, QStringLiteral("kelm-logo: ") + text);
    say(stderr, QStringLiteral("Pomoc: kelm-logo --help"));
    return badInputCode;
}

int inputError(const QString &text)
{
    say(stderr, QStringLiteral("kelm-logo: ") + text);
    return badInputCode;
}

// Every printer in flight takes a descriptor: no more at once than the limit of
// open files allows, less a reserve; the rest wait as with --jobs.
int jobsWithinFileLimit(const LogoCommand &command, int printers)
{
    const int limit = raiseFileLimitToHard();
    const int budget = socketBudget();
    const int asked = command.jobs > 0 ? command.jobs : printers;
    if (budget >= asked)
        return command.jobs;
    say(stderr, QStringLiteral("Naraz najwyżej %1 drukarek: system pozwala otworzyć %2 plików i "
                               "połączeń (limit otwartych plików, ulimit -n), %3 zostaje w "
                               "zapasie; pozostałe czekają w kolejce.")
                    .arg(budget)
                    .arg(limit)
                    .arg(limit - budget));
    return budget;
}

struct Logo
{
    LogoRaster raster;
    int widthDots = 0;
    int autoLevel = 0; // the level --level auto found, else 0
    QByteArray frameTemplate;
};

bool buildLogo(const LogoCommand &command, Logo *logo, QString *error)
{
    const QImage picture = readPicture(command.picture);
    if (picture.isNull()) {
        *error = QStringLiteral("nie można wczytać obrazu %1.")
                     .arg(QDir::toNativeSeparators(command.picture));
        return false;
    }
    int x = command.xPercent;
    int y = command.yPercent;
    if (command.fit) {
        const Proportions fitted = fitProportions(picture.size());
        x = fitted.xPercent;
        y = fitted.yPercent;
    }
    // The window's own conversion, so that the same choices give the same frames.
    int level = 0;
    logo->raster = buildLogoRaster(picture, x, y, command.conversion, &level);
    if (command.conversion.method == Dither::Threshold && command.conversion.autoLevel)
        logo->autoLevel = level;
    logo->widthDots = logo->raster.lineCount ? x * logoWidthDots / 100 : 0;
    if (logo->raster.lineCount == 0) {
        *error = QStringLiteral("logo w tej skali jest puste (--x %1 --y %2): nie ma czego wysłać.")
                     .arg(x)
                     .arg(y);
        return false;
    }
    logo->frameTemplate =
        buildFrameTemplate(command.footer ? LogoPlacement::Footer : LogoPlacement::Header);
    return true;
}

QString sizeLine(const Logo &logo)
{
    const int rows = logo.raster.lineCount;
    const QString size =
        QStringLiteral("Logo: %1 x %2 punktów (pole %3 x %4), %5 ramek, %6 bajtów.")
            .arg(logo.widthDots)
            .arg(rows)
            .arg(logoWidthDots)
            .arg(logoMaxRows)
            .arg(rows)
            .arg(rows * frameSize);
    if (logo.autoLevel == 0)
        return size;
    return size + QStringLiteral("\nPróg automatyczny: %1.").arg(logo.autoLevel);
}

int preview(const LogoCommand &command)
{
    Logo logo;
    QString error;
    if (!buildLogo(command, &logo, &error))
        return inputError(error);
    if (!rasterPicture(logo.raster).save(command.output, "PNG"))
        return inputError(
            QStringLiteral("nie można zapisać %1.").arg(QDir::toNativeSeparators(command.output)));
    say(stdout, sizeLine(logo));
    return 0;
}

// The report is written only at the end, so a path it cannot take is told now,
// before anything is sent; and it must not overwrite a printers file.
bool checkReportPath(const LogoCommand &command, QString *error)
{
    const QFileInfo report(command.report);
    const QString shown = QDir::toNativeSeparators(command.report);
    const QString canonical = report.canonicalFilePath();
    for (const QString &printers : command.printerFiles) {
        if (!canonical.isEmpty() && QFileInfo(printers).canonicalFilePath() == canonical) {
            *error = QStringLiteral("raport %1 to plik drukarek %2: zapis raportu by go "
                                    "zniszczył.")
                         .arg(shown, QDir::toNativeSeparators(printers));
            return false;
        }
    }
    const QFileInfo folder(report.absolutePath());
    QString reason;
    if (report.isDir())
        reason = systemErrorText(EISDIR);
    else if (!folder.exists())
        reason = systemErrorText(ENOENT);
    else if (!folder.isDir())
        reason = systemErrorText(ENOTDIR);
    else if (!folder.isWritable())
        reason = systemErrorText(EACCES);
    if (reason.isEmpty())
        return true;
    *error = QStringLiteral("nie można zapisać raportu %1: %2.").arg(shown, reason);
    return false;
}

int program(const LogoCommand &command)
{
    Logo logo;
    QString error;
    if (!buildLogo(command, &logo, &error))
        return inputError(error);
    const PrinterList printers = readPrinters(command);
    if (!printers.problems.isEmpty()) {
        say(stderr, QStringLiteral("kelm-logo: błędne drukarki, nic nie wysłano:"));
        for (const QString &problem : printers.problems)
            say(stderr, QStringLiteral("  ") + problem);
        return badInputCode;
    }
    FILE *human = command.json ? stderr : stdout;
    if (printers.targets.isEmpty() && command.serial.isEmpty() && printers.leftOut > 0) {
        // Nothing failed that a retry could mend: nothing to do.
        say(human, QStringLiteral("W raporcie nie ma drukarek do ponowienia (pominięto %1).")
                       .arg(printers.leftOut));
        if (command.json)
            std::fputs(summaryLine(OutcomeCounts(), 0, 0).constData(), stdout);
        return 0;
    }
    if (printers.targets.isEmpty() && command.serial.isEmpty())
        return inputError(printers.unticked
                              ? QStringLiteral("żadna drukarka nie jest zaznaczona (%1 "
                                               "niezaznaczonych; --all bierze wszystkie).")
                                    .arg(printers.unticked)
                              : QStringLiteral("brak drukarek."));
    if (!command.report.isEmpty() && !checkReportPath(command, &error))
        return inputError(error);

    Journal journal(command.journal.isEmpty() ? Journal::defaultPath() : command.journal);
    if (!journal.load(&error))
        return inputError(error);

    LogoCommand runCommand = command;
    runCommand.jobs = jobsWithinFileLimit(command, printers.targets.size());
    // The first signal stops gracefully, the second ends at once with what has
    // ended written, the third takes the default action.
    SignalWatch signalWatch({SIGINT, SIGTERM}, 2);
    if (!signalWatch.isActive())
        return inputError(QStringLiteral("brak łącza na sygnały."));
    LogoRun run(runCommand, printers.targets, logo.raster, logo.frameTemplate, &journal);
    QObject::connect(&signalWatch, &SignalWatch::caught, &run, [&run](int, int count) {
        if (count == 1)
            run.interrupt();
        else
            run.stopNow();
    });
    // A reader of the output that went away must not kill the run unreported.
    std::signal(SIGPIPE, SIG_IGN);
    QObject::connect(&run, &LogoRun::done, QCoreApplication::instance(), &QCoreApplication::quit,
                     Qt::QueuedConnection);

    say(human, sizeLine(logo));
    if (printers.leftOut)
        say(human, QStringLiteral("Pominięto %1 drukarek z raportu, którym ponowienie nie pomoże "
                                  "(--only-failed).")
                       .arg(printers.leftOut));
    if (printers.unticked)
        say(human, QStringLiteral("Pominięto %1 niezaznaczonych drukarek (--all bierze wszystkie).")
                       .arg(printers.unticked));
    run.start();
    QCoreApplication::exec();
    return run.exitCode();
}

} // namespace

int runLogoTool(const QStringList &arguments)
{
    LogoCommand command;
    QString error;
    badInputCode = wantsDetailedExitCodes(arguments) ? 1 : 2;
    if (!parseCommandLine(arguments, &command, &error))
        return usageError(error);
    switch (command.kind) {
    case LogoCommand::Help:
        std::fputs(helpText(command.helpTopic).toUtf8().constData(), stdout);
        return 0;
    case LogoCommand::Version:
        say(stdout, QStringLiteral("kelm-logo %1").arg(QCoreApplication::applicationVersion()));
        return 0;
    case LogoCommand::Preview:
        return preview(command);
    case LogoCommand::Program:
        return program(command);
    }
    return badInputCode;
}
