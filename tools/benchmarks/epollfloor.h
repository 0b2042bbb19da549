#pragma once

// The floor of programming N printers over TCP/IP: the least any sender can do.
// N sockets, one epoll loop, frame r + 1 written the moment the answer to frame
// r is read. Shared by the benchmarks, so that each compares with the same floor.
#include "benchmeasure.h"
#include "core/printer/frame.h"

#include <QtGlobal>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace epollfloor {

struct Result
{
    double connectMs = -1;   // connecting every socket, one after the other
    double sendMs = -1;      // the stop-and-wait of every frame to every printer
    double cpuMs = 0;        // the thread's CPU time in the stop-and-wait
    double connectCpuMs = 0; // and in connecting
};

// One socket per entry of `ports` on 127.0.0.1 (the same port may repeat), then
// `rows` frames to each. sendMs < 0 when a connection or a frame failed.
inline Result run(const std::vector<quint16> &ports, int rows)
{
    using Clock = std::chrono::steady_clock;
    Result result;
    std::vector<int> fds;
    const auto closeAll = [&] {
        for (const int fd : fds)
            ::close(fd);
    };
    const Clock::time_point connecting = Clock::now();
    const double connectCpu = threadCpuMs();
    for (const quint16 port : ports) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0)
            return closeAll(), result;
        fds.push_back(fd);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            return closeAll(), result;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    result.connectMs = msSince(connecting);
    result.connectCpuMs = threadCpuMs() - connectCpu;

    const int ep = ::epoll_create1(0);
    std::unordered_map<int, int> sent;
    for (const int fd : fds) {
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.fd = fd;
        ::epoll_ctl(ep, EPOLL_CTL_ADD, fd, &e);
    }
    const QByteArray frame = buildFrameTemplate(LogoPlacement::Header);
    const auto fail = [&] {
        ::close(ep);
        closeAll();
        return result;
    };
    const double cpu = threadCpuMs();
    const Clock::time_point start = Clock::now();
    for (const int fd : fds) {
        if (::write(fd, frame.constData(), size_t(frame.size())) != frame.size())
            return fail();
        sent[fd] = 1;
    }
    size_t done = 0;
    std::vector<epoll_event> ready(1024);
    char answer[64];
    while (done < fds.size()) {
        const int k = ::epoll_wait(ep, ready.data(), int(ready.size()), 10000);
        if (k <= 0)
            return fail();
        for (int i = 0; i < k; ++i) {
            const int fd = ready[size_t(i)].data.fd;
            if (::read(fd, answer, sizeof answer) <= 0)
                return fail();
            int &s = sent[fd];
            if (s == rows) {
                ++done;
                continue;
            }
            ++s;
            if (::write(fd, frame.constData(), size_t(frame.size())) != frame.size())
                return fail();
        }
    }
    result.sendMs = msSince(start);
    result.cpuMs = threadCpuMs() - cpu;
    ::close(ep);
    closeAll();
    return result;
}

} // namespace epollfloor
