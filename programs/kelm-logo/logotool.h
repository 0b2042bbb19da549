#pragma once

#include <QStringList>

// The whole of `kelm-logo`: runs the command line on the application's event
// loop (made by the caller) and gives the exit status: 0 all programmed (or the
// preview written), 1 some printer not programmed or Ctrl+C, 2 a usage error
// or input that cannot be used, before anything is sent, 3 the report could not
// be written.
int runLogoTool(const QStringList &arguments);
