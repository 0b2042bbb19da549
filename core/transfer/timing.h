#pragma once

#include <QString>

// Every wait of a transfer, in one place.
namespace Timing {

// A printer silent this long after a frame is flagged, or failed where the
// silence ends the transfer.
constexpr int answerTimeoutMs = 10000;
// After "stop", the answers already on their way count for this long at most.
constexpr int stopGraceMs = 2000;
// Between a failed attempt and the next.
constexpr int retryPauseMs = 1500;

// The row's words for a printer that has not answered for `ms`.
inline QString silenceText(int ms = answerTimeoutMs)
{
    return QStringLiteral("brak odpowiedzi od %1 s").arg(ms / 1000);
}

} // namespace Timing
