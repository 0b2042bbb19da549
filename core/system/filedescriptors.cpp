#include "core/system/filedescriptors.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

int openFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return INT_MAX;
    return int(std::min<rlim_t>(limit.rlim_cur, INT_MAX));
}

int raiseFileLimitToHard()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    return openFileLimit();
}

int spareFileDescriptors()
{
    const long soft = openFileLimit();
    if (soft == INT_MAX)
        return INT_MAX;
    long open = 0;
    if (DIR *fds = ::opendir("/proc/self/fd")) {
        while (const dirent *entry = ::readdir(fds))
            open += entry->d_name[0] != '.';
        ::closedir(fds);
        --open; // the directory's own
    } else {
        for (int fd = 0; fd < soft && fd < 65536; ++fd)
            open += ::fcntl(fd, F_GETFD) != -1;
    }
    return int(std::max(0L, soft - open));
}

int socketBudget()
{
    const int spare = spareFileDescriptors();
    if (spare == INT_MAX)
        return INT_MAX;
    const int reserve = std::min(64, std::max(8, openFileLimit() / 4));
    return std::max(1, spare - reserve);
}

int probeSocket()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return isLocalSocketFault(errno) ? errno : 0;
    ::close(fd);
    return 0;
}

bool isLocalSocketFault(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM ||
           error == EADDRNOTAVAIL;
}

QString localFaultText(int error)
{
    switch (error) {
    case EMFILE:
        return QStringLiteral("brak wolnych deskryptorów plików (limit %1)").arg(openFileLimit());
    case ENFILE:
        return QStringLiteral("system wyczerpał limit otwartych plików");
    case ENOBUFS:
    case ENOMEM:
        return QStringLiteral("brak pamięci na gniazdo");
    case EADDRNOTAVAIL:
        return QStringLiteral("brak wolnego lokalnego adresu lub portu");
    default:
        return QStringLiteral("błąd systemu %1").arg(error);
    }
}

