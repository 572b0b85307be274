#pragma once
// The virtual instrument's record log in its FID modes (--record-log): one line
// per record it sent, with the field the record stands for, so that a test can
// check what came out of the program against what went in.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cmath>

namespace RecordLog {

constexpr double Tolerance = 0.01; // nT

// One line of the log.
struct Truth
{
    qint64 index = 0;
    QVector<double> values; // x, y, z, s (vector) or s (FID)
    bool corrupt = false;   // its count value2 was zeroed
    bool lostByte = false;  // its frame lost a byte on the way
};

inline QVector<Truth> read(const QString& path)
{
    QVector<Truth> truths;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return truths;
    while (!file.atEnd()) {
        const QList<QByteArray> words = file.readLine().trimmed().split(' ');
        if (words.size() < 2)
            continue;
        Truth t;
        t.index = words[0].toLongLong();
        for (int i = 1; i < words.size(); ++i) {
            bool ok = false;
            const double v = words[i].toDouble(&ok);
            if (ok)
                t.values << v;
            t.corrupt = t.corrupt || words[i] == "corrupt";
            t.lostByte = t.lostByte || words[i] == "lost-byte";
        }
        truths << t;
    }
    return truths;
}

inline bool near(const QVector<double>& a, const QVector<double>& b, double tolerance = Tolerance)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (!(std::abs(a[i] - b[i]) < tolerance))
            return false;
    }
    return true;
}

// Where the run `values` starts among the truths (each within the tolerance),
// or -1.
inline int find(const QVector<Truth>& truths, const QVector<QVector<double>>& values)
{
    for (int t = 0; t + values.size() <= truths.size(); ++t) {
        bool same = true;
        for (int i = 0; same && i < values.size(); ++i)
            same = near(truths[t + i].values, values[i]);
        if (same)
            return t;
    }
    return -1;
}

inline QString text(const QVector<double>& v)
{
    QStringList parts;
    for (const double d : v)
        parts << QString::number(d, 'f', 4);
    return parts.join(' ');
}

} // namespace RecordLog
