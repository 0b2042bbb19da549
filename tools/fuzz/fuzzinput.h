#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Aborts, naming the promise that broke, so that the fuzzer keeps the input.
inline void check(bool holds, const char *what)
{
    if (!holds) {
        std::fprintf(stderr, "broken invariant: %s\n", what);
        std::abort();
    }
}

// The fuzzer's bytes without a copy, so that reading one byte too far trips the
// sanitizer.
inline QByteArray fuzzInput(const uint8_t *data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
}
