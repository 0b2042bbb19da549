#pragma once

#include <sys/resource.h>
#include <unistd.h>

// The soft limit of open files lowered until restore() or the object's end.
class LoweredFileLimit
{
public:
    explicit LoweredFileLimit(rlim_t soft)
    {
        if (::getrlimit(RLIMIT_NOFILE, &saved) != 0)
            return;
        rlimit lower = saved;
        lower.rlim_cur = soft;
        lowered = ::setrlimit(RLIMIT_NOFILE, &lower) == 0;
    }
    ~LoweredFileLimit() { restore(); }
    LoweredFileLimit(const LoweredFileLimit &) = delete;
    LoweredFileLimit &operator=(const LoweredFileLimit &) = delete;

    bool isLowered() const { return lowered; }
    void restore()
    {
        if (lowered)
            ::setrlimit(RLIMIT_NOFILE, &saved);
        lowered = false;
    }

    // The lowest descriptor free now: as the limit, no new file or socket opens.
    static int lowestFree()
    {
        const int fd = ::dup(0);
        if (fd >= 0)
            ::close(fd);
        return fd;
    }

private:
    rlimit saved{};
    bool lowered = false;
};
