#pragma once

#include <QTest>

// True if `condition` still holds after a short while with the event loop
// running. Only for "nothing happened" where no later event can show it (a
// printer that must stay silent, a button that must stay off while a printer
// says nothing): 200 ms is enough for loopback and the pseudo-terminals.
// Everything else waits on its condition (QTRY_*, QSignalSpy::wait).
template <typename Condition> bool staysTrue(Condition condition)
{
    return !QTest::qWaitFor([&] { return !condition(); }, 200);
}
