// N printers that cost less than the sender: one process, one epoll loop, no
// Qt. Each listens on 127.0.0.1 at a port the system chooses and answers 0x64
// the moment a whole 130-byte frame has come, nothing checked. A sender's cost
// then shows instead of being hidden behind the printers'.
//
//   kelm-standin-printer N      prints "tcp 127.0.0.1:PORT" per printer, then
//                               "ready"; on SIGTERM or SIGINT "frames F", exit.
//
// It ends by itself when its parent goes, or after ten minutes without traffic.
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int frameSize = 130;
constexpr int maxPrinters = 30000;
constexpr int idleLimitS = 600;
constexpr unsigned long long listenerTag = 1ULL << 32;

volatile std::sig_atomic_t stopping = 0;

void stop(int)
{
    stopping = 1;
}

int listenOn(uint16_t &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(fd, 128) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

} // namespace

int main(int argc, char **argv)
{
    const int n = argc == 2 ? std::atoi(argv[1]) : 0;
    if (n < 1 || n > maxPrinters) {
        std::fprintf(stderr, "usage: %s N (1..%d)\n", argv[0], maxPrinters);
        return 2;
    }
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    struct sigaction action = {};
    action.sa_handler = stop; // no SA_RESTART: epoll_wait returns with EINTR
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);

    const int ep = ::epoll_create1(EPOLL_CLOEXEC);
    for (int i = 0; i < n; ++i) {
        uint16_t port = 0;
        const int fd = listenOn(port);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = listenerTag | unsigned(fd);
        if (fd < 0 || ::epoll_ctl(ep, EPOLL_CTL_ADD, fd, &event) != 0) {
            std::fprintf(stderr, "printer %d: %s\n", i + 1, std::strerror(errno));
            return 1;
        }
        std::printf("tcp 127.0.0.1:%u\n", unsigned(port));
    }
    std::printf("ready\n");
    std::fflush(stdout);

    // Bytes of a frame not yet whole, by descriptor.
    std::vector<int> partial(size_t(files.rlim_cur), 0);
    std::vector<char> answers(65536 / frameSize + 1, char(0x64));
    static char input[65536];
    unsigned long long frames = 0;
    int idleS = 0;
    epoll_event ready[512];
    while (!stopping && idleS < idleLimitS) {
        const int k = ::epoll_wait(ep, ready, 512, 1000);
        idleS = k == 0 ? idleS + 1 : 0;
        for (int i = 0; i < k; ++i) {
            const int fd = int(ready[i].data.u64 & 0xffffffffU);
            if (ready[i].data.u64 & listenerTag) {
                int client;
                while ((client = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >=
                       0) {
                    const int one = 1;
                    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    epoll_event event{};
                    event.events = EPOLLIN;
                    event.data.u64 = unsigned(client);
                    if (size_t(client) >= partial.size() ||
                        ::epoll_ctl(ep, EPOLL_CTL_ADD, client, &event) != 0)
                        ::close(client);
                    else
                        partial[size_t(client)] = 0;
                }
                continue;
            }
            const ssize_t got = ::read(fd, input, sizeof input);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
                ::close(fd); // also leaves the epoll set
                continue;
            }
            if (got < 0)
                continue;
            int &bytes = partial[size_t(fd)];
            bytes += int(got);
            const int whole = bytes / frameSize;
            bytes %= frameSize;
            if (whole > 0 && ::write(fd, answers.data(), size_t(whole)) == whole)
                frames += unsigned(whole);
        }
    }
    std::printf("frames %llu\n", frames);
    return 0;
}
