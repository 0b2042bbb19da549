#include "app/startup.h"

#include <QApplication>
#include <QFont>
#include <QTextCodec>

void configureApplication(QApplication &app)
{
    app.setApplicationDisplayName(QStringLiteral("Kelm Graphics"));
#ifdef Q_OS_WIN
    // Elsewhere Qt encodes file names through the locale codec, and windows-1250
    // would make paths with Polish letters unreachable.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("windows-1250"));
#endif
    app.setFont(QFont(QStringLiteral("Arial"), 10, QFont::Thin, false));
}
