#include "app/startup.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QTextCodec>
#include <QTranslator>

void configureApplication(QApplication &app)
{
    // No application display name: Qt would append it to every title the window
    // system shows, and each title must read exactly as the window sets it.
    // The program speaks Polish whatever the system's language, so Qt's own words
    // (standard buttons, the file dialog) must too. Without the file they stay English.
    auto *qtTexts = new QTranslator(&app);
    if (qtTexts->load(QStringLiteral("qtbase_pl"),
                      QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTexts);
    else
        delete qtTexts;

#ifdef Q_OS_WIN
    // Elsewhere Qt encodes file names through the locale codec, and windows-1250
    // would make paths with Polish letters unreachable.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("windows-1250"));
#endif
    app.setFont(QFont(QStringLiteral("Arial"), 10, QFont::Thin, false));
}
