#pragma once

// What the benchmarks read of the process and the machine: the clocks, the
// memory, and a socket on loopback for the printers they serve themselves.
#include <QtGlobal>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>

// CPU time of the calling thread: what it spent itself, whatever else the
// machine was running.
inline double threadCpuMs()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

inline double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// A line of /proc/self/status in KiB: "VmRSS:" now, "VmHWM:" at the peak.
inline long kibFromStatus(const char *field)
{
    FILE *f = std::fopen("/proc/self/status", "r");
    char line[256];
    long kib = 0;
    while (f && std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, std::strlen(field)) == 0)
            kib = std::atol(line + std::strlen(field));
    if (f)
        std::fclose(f);
    return kib;
}

// A TCP socket listening on 127.0.0.1 at a port the system chose; `flags` are
// added to the socket type (SOCK_NONBLOCK).
inline int listenOnLoopback(int flags, int backlog, quint16 &port)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | flags, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr *>(&address), length);
    ::listen(listener, backlog);
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    port = ntohs(address.sin_port);
    return listener;
}
