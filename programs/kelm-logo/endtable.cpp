#include "programs/kelm-logo/endtable.h"

#include "programs/kelm-logo/jsonlines.h"

#include <QLocale>
#include <QStringList>
#include <QVector>

#include <algorithm>

QString secondsText(double seconds)
{
    return QLocale(QLocale::Polish, QLocale::Poland).toString(seconds, 'f', 1) +
           QStringLiteral(" s");
}

QString unprogrammedTable(const QList<PrinterResult> &results)
{
    QList<int> missing;
    for (int i = 0; i < results.size(); ++i) {
        if (!isSuccess(results.at(i).outcome))
            missing.append(i);
    }
    if (missing.isEmpty())
        return {};

    std::stable_sort(missing.begin(), missing.end(), [&](int a, int b) {
        return int(results.at(a).outcome) < int(results.at(b).outcome);
    });

    const QStringList heads{QStringLiteral("Nr"),      QStringLiteral("Drukarka"),
                            QStringLiteral("Adres"),   QStringLiteral("Wynik"),
                            QStringLiteral("Wiersze"), QStringLiteral("Próby"),
                            QStringLiteral("Czas")};
    QList<QStringList> rows;
    for (const int i : qAsConst(missing)) {
        const PrinterResult &r = results.at(i);
        const QString name = r.name.size() > 32 ? r.name.left(31) + QStringLiteral("…") : r.name;
        rows.append({QString::number(i + 1), name, printerAddress(r), resultText(r),
                     QStringLiteral("%1 z %2").arg(r.rowsSent).arg(r.rows),
                     QString::number(r.attempts), secondsText(r.seconds)});
    }
    QVector<int> widths(heads.size());
    for (int c = 0; c < heads.size(); ++c) {
        widths[c] = heads.at(c).size();
        for (const QStringList &row : qAsConst(rows))
            widths[c] = qMax(widths.at(c), row.at(c).size());
    }
    auto tableLine = [&](const QStringList &cells) {
        QString line;
        for (int c = 0; c < cells.size(); ++c) {
            if (c)
                line += QStringLiteral("  ");
            // The last column is not padded: no trailing blanks.
            line += c + 1 < cells.size() ? cells.at(c).leftJustified(widths.at(c), QLatin1Char(' '))
                                         : cells.at(c);
        }
        return line + QLatin1Char('\n');
    };
    QString out = QStringLiteral("\nNiezaprogramowane (%1):\n").arg(missing.size());
    out += tableLine(heads);
    for (const QStringList &row : qAsConst(rows))
        out += tableLine(row);
    return out;
}
