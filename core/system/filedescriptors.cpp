#include "core/system/filedescriptors.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>

#include <algorithm>
#include <climits>

int openFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return INT_MAX;
    return int(std::min<rlim_t>(limit.rlim_cur, INT_MAX));
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
