#pragma once

#include <QByteArray>

// A one-byte answer without all of the bits 0x40, 0x20 and 0x04 means the printer
// already holds a programmed graphic. Answers of any other length are not examined.
bool isAlreadyProgrammedReply(const QByteArray &reply);
