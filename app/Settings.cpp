#include "app/Settings.h"

#include <QDebug>
#include <QIODevice>
#include <QSettings>
#include <QTextStream>

#include <cmath>

namespace Settings {

namespace {

// Keys are "group/key"; a key without a group sits in [General], as Qt writes it.
bool readPlainIni(QIODevice& device, QSettings::SettingsMap& map)
{
    QTextStream in(&device);
    in.setCodec("UTF-8");
    QString group;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            group = line.mid(1, line.size() - 2).trimmed();
            if (group.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0)
                group.clear();
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) &&
            value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        map.insert(group.isEmpty() ? key : group + QLatin1Char('/') + key, value);
    }
    return true;
}

bool writePlainIni(QIODevice& device, const QSettings::SettingsMap& map)
{
    QMap<QString, QStringList> groups;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const int slash = it.key().lastIndexOf(QLatin1Char('/'));
        const QString group = slash < 0 ? QStringLiteral("General") : it.key().left(slash);
        const QString key = it.key().mid(slash + 1);
        groups[group] << key + QLatin1Char('=') + it.value().toString();
    }
    QTextStream out(&device);
    out.setCodec("UTF-8");
    bool first = true;
    for (auto it = groups.cbegin(); it != groups.cend(); ++it) {
        if (!first)
            out << '\n';
        first = false;
        out << '[' << it.key() << "]\n";
        for (const QString& line : it.value())
            out << line << '\n';
    }
    out.flush();
    return out.status() == QTextStream::Ok;
}

QSettings::Format plainIniFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("ini"), readPlainIni, writePlainIni);
    return format;
}

QString rawValue(const QString& path, const QString& group, const QString& key, bool* found)
{
    QSettings settings(path, plainIniFormat());
    settings.beginGroup(group);
    const QVariant value = settings.value(key);
    *found = value.isValid();
    return value.toString();
}

} // namespace

QString readString(const QString& path, const QString& group, const QString& key,
                   const QString& fallback)
{
    bool found = false;
    const QString text = rawValue(path, group, key, &found);
    if (!found)
        return fallback;
    // Qt writes a text that starts with "@" as "@@"; a single "@" starts a
    // serialised object, which is never read.
    if (text.startsWith(QLatin1String("@@")))
        return text.mid(1);
    if (text.startsWith(QLatin1Char('@'))) {
        qDebug().noquote() << "config:" << group + '/' + key << "holds a serialised value - default"
                           << fallback;
        return fallback;
    }
    return text;
}

int readInt(const QString& path, const QString& group, const QString& key, int fallback)
{
    bool found = false;
    const QString text = rawValue(path, group, key, &found);
    if (!found)
        return fallback;
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok) {
        qDebug().noquote() << "config:" << group + '/' + key
                           << "is not a whole number in range:" << text.left(40) << "- default"
                           << fallback;
        return fallback;
    }
    return value;
}

double readDouble(const QString& path, const QString& group, const QString& key, double fallback)
{
    bool found = false;
    const QString text = rawValue(path, group, key, &found);
    if (!found)
        return fallback;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        qDebug().noquote() << "config:" << group + '/' + key
                           << "is not a finite number:" << text.left(40) << "- default" << fallback;
        return fallback;
    }
    return value;
}

bool writeValue(const QString& path, const QString& group, const QString& key,
                const QVariant& value)
{
    QSettings settings(path, plainIniFormat());
    settings.beginGroup(group);
    settings.setValue(key, value.toString());
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace Settings
