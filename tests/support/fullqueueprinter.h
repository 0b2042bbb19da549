#pragma once

#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

// A printer that never completes the handshake: a socket on 127.0.0.1 listening
// with a backlog of 0, its accept queue filled by connections nobody accepts, so
// that the kernel answers no further SYN.
class FullQueuePrinter
{
public:
    FullQueuePrinter()
    {
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof where;
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&where), length) != 0 ||
            ::listen(listener, 0) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr *>(&where), &length) != 0)
            return;
        portNumber = ntohs(where.sin_port);
        for (int i = 0; i < 3; ++i) {
            const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr *>(&where), sizeof where);
            fillers.push_back(filler);
        }
    }
    ~FullQueuePrinter() { close(); }
    FullQueuePrinter(const FullQueuePrinter &) = delete;
    FullQueuePrinter &operator=(const FullQueuePrinter &) = delete;

    quint16 port() const { return portNumber; }
    // The port is free again: another printer may listen there.
    void close()
    {
        for (const int fd : fillers)
            ::close(fd);
        fillers.clear();
        if (listener >= 0)
            ::close(listener);
        listener = -1;
    }

private:
    int listener = -1;
    quint16 portNumber = 0;
    std::vector<int> fillers;
};
