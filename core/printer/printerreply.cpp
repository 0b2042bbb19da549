#include "core/printer/printerreply.h"

bool isAlreadyProgrammedReply(const QByteArray &reply)
{
    constexpr uchar ackBits = 0x64;
    return reply.size() == 1 && (uchar(reply.at(0)) & ackBits) != ackBits;
}
