#pragma once

#include <QString>

// Every wait of a transfer, in one place.
namespace Timing {

// A printer silent this long after a frame is flagged, or failed where the
// silence ends the transfer.
constexpr int answerTimeoutMs = 10000;
// After "stop", the answers already on their way count for this long at most.
constexpr int stopGraceMs = 2000;
// The grace after "stop" where an answer's time-out is shorter: no answer is
// awaited longer than it may take. 0: no time-out.
constexpr int stopGraceFor(int answerTimeout)
{
    return answerTimeout > 0 && answerTimeout < stopGraceMs ? answerTimeout : stopGraceMs;
}
// Between a failed attempt and the next.
constexpr int retryPauseMs = 1500;
// A printer not connected this long after the attempt began is given up: the
// kernel's own time-out is minutes.
constexpr int connectTimeoutMs = 10000;

// The row's words for a printer that has not answered for `ms`.
inline QString silenceText(int ms = answerTimeoutMs)
{
    return QStringLiteral("brak odpowiedzi od %1 s").arg(ms / 1000);
}

} // namespace Timing
