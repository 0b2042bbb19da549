#include "core/printer/printerreply.h"

namespace {
constexpr uchar ackBits = 0x64;
}

bool isAcknowledgement(const QByteArray &reply, qint64 arrived)
{
    return arrived == 1 && reply.size() == 1 && (uchar(reply.at(0)) & ackBits) == ackBits;
}

bool isAlreadyProgrammedReply(const QByteArray &reply)
{
    return reply.size() == 1 && (uchar(reply.at(0)) & ackBits) != ackBits;
}
