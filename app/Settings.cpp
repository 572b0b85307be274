#include "app/Settings.h"

#include "app/RegularFile.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QVector>

#include <cmath>

namespace Settings {

namespace {

// Far above any file of a few keys; a larger one is not a settings file.
constexpr qint64 MaxFileBytes = 1 << 20;

// One line of the file as it stands: its bytes without the line end, and the
// line end ("\n", "\r\n", or nothing on a last line without one).
struct Line
{
    QByteArray text;
    QByteArray end;
};

QVector<Line> splitLines(const QByteArray& bytes)
{
    QVector<Line> lines;
    int start = 0;
    while (start < bytes.size()) {
        const int newline = bytes.indexOf('\n', start);
        const int stop = newline < 0 ? bytes.size() : newline;
        const int textEnd = stop > start && bytes.at(stop - 1) == '\r' ? stop - 1 : stop;
        lines.append({bytes.mid(start, textEnd - start),
                      newline < 0 ? QByteArray() : bytes.mid(textEnd, stop + 1 - textEnd)});
        start = stop + 1;
    }
    return lines;
}

// What a line says: a group header, a key and its value, or nothing (blank,
// comment, anything else).
struct Parsed
{
    enum Kind
    {
        Other,
        Group,
        Key
    } kind = Other;
    QString name;       // the group, or the key
    QString value;      // the key's value, trimmed, without one pair of quotes
    int valueStart = 0; // where the value's text starts in the line's bytes
};

// A group named "General", or none at all (keys above the first header), is
// the file's top level, as Qt writes it.
QString groupName(const QString& text)
{
    const QString name = text.trimmed();
    return name.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0 ? QString() : name;
}

Parsed parse(QByteArray text, bool firstLine)
{
    Parsed parsed;
    int skipped = 0;
    if (firstLine && text.startsWith("\xEF\xBB\xBF")) {
        text.remove(0, 3); // a byte-order mark
        skipped = 3;
    }
    const QString line = QString::fromUtf8(text).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
        return parsed;
    if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
        parsed.kind = Parsed::Group;
        parsed.name = groupName(line.mid(1, line.size() - 2));
        return parsed;
    }
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return parsed;
    parsed.kind = Parsed::Key;
    parsed.name = line.left(eq).trimmed();
    QString value = line.mid(eq + 1).trimmed();
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    parsed.value = value;
    // Where the value's text starts in the raw line: after "=" and its blanks.
    int at = text.indexOf('=') + 1;
    while (at < text.size() && (text.at(at) == ' ' || text.at(at) == '\t'))
        ++at;
    parsed.valueStart = skipped + at;
    return parsed;
}

// The file's bytes, or why there are none. A missing file is said nothing
// about; one that is not a plain file of a sensible size is.
bool readFile(const QString& path, QByteArray* bytes)
{
    const RegularFile::Contents file = RegularFile::read(path, MaxFileBytes);
    switch (file.status) {
    case RegularFile::Status::Ok:
        *bytes = file.bytes;
        return true;
    case RegularFile::Status::Missing:
        return false;
    case RegularFile::Status::NotRegular:
        qDebug().noquote() << "settings:" << path << "is not a plain file - not read";
        return false;
    case RegularFile::Status::TooLarge:
        qDebug().noquote() << "settings:" << path << "is larger than" << MaxFileBytes
                           << "bytes - not read";
        return false;
    case RegularFile::Status::Unreadable:
        qDebug().noquote() << "settings:" << path << "cannot be read";
        return false;
    }
    return false;
}

QString rawValue(const QString& path, const QString& group, const QString& key, bool* found)
{
    *found = false;
    QByteArray bytes;
    if (!readFile(path, &bytes))
        return QString();
    const QString wanted = groupName(group);
    const QVector<Line> lines = splitLines(bytes);
    QString current;
    QString value;
    for (int i = 0; i < lines.size(); ++i) {
        const Parsed p = parse(lines.at(i).text, i == 0);
        if (p.kind == Parsed::Group) {
            current = p.name;
        } else if (p.kind == Parsed::Key && current == wanted && p.name == key) {
            value = p.value; // of a key given twice the last one holds
            *found = true;
        }
    }
    return value;
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
    const QString text = value.toString();
    if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
        return false; // would end the line
    // Blanks around a text, or a pair of quotes around it, would be taken off
    // by the reader: quoted, it reads back as it was.
    const bool quote =
        text.trimmed() != text ||
        (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')));
    const QByteArray written = quote ? '"' + text.toUtf8() + '"' : text.toUtf8();

    QByteArray bytes;
    if (!readFile(path, &bytes) && QFileInfo::exists(path))
        return false; // not a file this could rewrite: left as it is
    QVector<Line> lines = splitLines(bytes);
    const QByteArray newline =
        !lines.isEmpty() && lines.first().end == "\r\n" ? QByteArray("\r\n") : QByteArray("\n");

    // Only the key's own line changes (the last one, which the readers take),
    // or one line is added after the group's last key, or the group at the end.
    const QString wanted = groupName(group);
    QString current;
    int keyLine = -1;
    int lastLineOfGroup = -1; // the last key or header line of the wanted group
    for (int i = 0; i < lines.size(); ++i) {
        const Parsed p = parse(lines.at(i).text, i == 0);
        if (p.kind == Parsed::Group) {
            current = p.name;
            if (current == wanted)
                lastLineOfGroup = i;
        } else if (p.kind == Parsed::Key && current == wanted) {
            lastLineOfGroup = i;
            if (p.name == key)
                keyLine = i;
        }
    }
    const auto endLastLine = [&] {
        if (!lines.isEmpty() && lines.last().end.isEmpty())
            lines.last().end = newline;
    };
    if (keyLine >= 0) {
        Line& line = lines[keyLine];
        const Parsed p = parse(line.text, keyLine == 0);
        line.text = line.text.left(p.valueStart) + written;
    } else if (lastLineOfGroup >= 0) {
        if (lastLineOfGroup == lines.size() - 1)
            endLastLine();
        lines.insert(lastLineOfGroup + 1, {key.toUtf8() + '=' + written, newline});
    } else {
        endLastLine();
        if (!lines.isEmpty() && !lines.last().text.trimmed().isEmpty())
            lines.append({QByteArray(), newline});
        if (!wanted.isEmpty() || !lines.isEmpty())
            lines.append({'[' + (wanted.isEmpty() ? QByteArray("General") : wanted.toUtf8()) + ']',
                          newline});
        lines.append({key.toUtf8() + '=' + written, newline});
    }

    QByteArray out;
    out.reserve(bytes.size() + written.size() + key.size() + 8);
    for (const Line& line : lines)
        out += line.text + line.end;

    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path); // the old file stays whole until the new one is
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(out) != out.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace Settings
