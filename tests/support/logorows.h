#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>

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

// The "row;last-row flag" field of each frame, as a printer received them.
inline QByteArrayList frameRows(const QList<QByteArray> &frames)
{
    QByteArrayList fields;
    for (const QByteArray &frame : frames)
        fields.append(frame.mid(6, 4));
    return fields;
}
