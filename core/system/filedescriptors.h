#pragma once

#include <QString>

// How many more files and sockets the process may open before the system's
// limit of open files (its soft limit) refuses them.
int spareFileDescriptors();

// The soft limit of open files; INT_MAX when there is none.
int openFileLimit();

// Raises the soft limit of open files to the hard one (every printer socket takes
// a descriptor); returns the soft limit now in force, INT_MAX when there is none.
int raiseFileLimitToHard();

// How many printer sockets may be open at once now: the spare descriptors less a
// reserve for files, the display, the serial port and the like (64, or a quarter
// of a lower limit, at least 8), at least 1.
int socketBudget();

// Whether a socket could be opened right now: 0 when it could, otherwise the
// errno of the failure (EMFILE, ENFILE, ENOBUFS, ENOMEM). Opens and closes one.
int probeSocket();

// A socket failure whose cause lies on this computer, not with the printer:
// out of descriptors, buffers or memory, or no local address or port left.
bool isLocalSocketFault(int error);

// The Polish words for such a cause, e.g. "brak wolnych deskryptorów (limit 1024)".
QString localFaultText(int error);
