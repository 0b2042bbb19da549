#pragma once

#include <QString>

// The product's name and version come from the build, so that boxes, titles and
// packages never disagree.
inline QString productName()
{
    return QStringLiteral(KELM_PRODUCT);
}

inline QString productVersion()
{
    return QStringLiteral(KELM_VERSION);
}
