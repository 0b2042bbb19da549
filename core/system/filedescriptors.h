#pragma once

// How many more files and sockets the process may open before the system's
// limit of open files (its soft limit) refuses them.
int spareFileDescriptors();

// The soft limit of open files; INT_MAX when there is none.
int openFileLimit();
