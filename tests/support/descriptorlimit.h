#pragma once

#include <sys/resource.h>
#include <unistd.h>

// The soft limit of open files lowered, for the object's life, to the lowest
// free descriptor plus `spare`: only that many more can be opened.
struct DescriptorLimit
{
    explicit DescriptorLimit(int spare)
    {
        lowestFree = ::dup(0);
        ::close(lowestFree);
        ::getrlimit(RLIMIT_NOFILE, &saved);
        rlimit lower = saved;
        lower.rlim_cur = rlim_t(lowestFree + spare);
        ::setrlimit(RLIMIT_NOFILE, &lower);
    }
    ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved); }
    DescriptorLimit(const DescriptorLimit &) = delete;
    DescriptorLimit &operator=(const DescriptorLimit &) = delete;

    int lowestFree = -1;
    rlimit saved{};
};
