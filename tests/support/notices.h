#pragma once

#include "support/recordingnotifier.h"

#include <QString>

// The main window's title, the title of most of its boxes.
inline QString kelmTitle()
{
    return QStringLiteral("Kelm Graphics");
}

// A TCP/IP printer that refuses the link.
inline QString refusedText()
{
    return QStringLiteral(
        "Połączenie zostało odrzucone przez zdalny serwer.Upewnij się że jest on włączony, oraz "
        "upewnij się że jego ustawienia ip i numer portu są prawidłowe");
}

// Fails unless the next notice is this box under the window's title.
#define KELM_EXPECT_BOX(notifier, kind, text, button, ...)                                         \
    KELM_EXPECT_NOTICE(notifier, Notice::kind, kelmTitle(), text, Notice::button, ##__VA_ARGS__)
