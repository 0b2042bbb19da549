#pragma once

#include <QByteArray>

// A one-byte answer without all of the bits 0x40, 0x20 and 0x04 means the printer
// already holds a programmed graphic. Answers of any other length are not examined.
bool isAlreadyProgrammedReply(const QByteArray &reply);
// The one answer that confirms a frame: a single byte with all of those bits set.
// `arrived` counts every byte of the answer, `reply` may hold only its first ones.
bool isAcknowledgement(const QByteArray &reply, qint64 arrived);
