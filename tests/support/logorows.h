#pragma once

#include <QByteArray>
#include <QByteArrayList>

// Row r carries its own number in every byte, so a payload from the wrong row shows.
inline QByteArray logoHexOf(int rows)
{
    QByteArray hex;
    for (int row = 1; row <= rows; ++row)
        hex += QByteArray::number(row).rightJustified(2, '0').repeated(52);
    return hex;
}

// "row;last-row flag" of rows first..last of a logo of lineCount rows, as a
// frame carries them.
inline QByteArrayList rowFields(int first, int last, int lineCount)
{
    QByteArrayList fields;
    for (int row = first; row <= last; ++row)
        fields.append(QByteArray::number(row).rightJustified(2, '0') +
                      (row == lineCount ? ";1" : ";0"));
    return fields;
}
