#include "app/Settings.h"

#include "app/IniSyntax.h"
#include "app/RegularFile.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QVector>

#include <cmath>

namespace Settings {

namespace {

using IniSyntax::Entry;

// Far above any file of a few keys; a larger one is not a settings file.
constexpr qint64 MaxFileBytes = 1 << 20;

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

// What a key gives its reader.
enum class Reading
{
    Missing,
    Text,
    List,       // a comma outside quotes: QSettings gives a list, whose text is empty
    Serialised, // a "@Type(...)" that Qt turns into an object: never read
};

// Qt's typed forms: "@Invalid()", or one of these prefixes with a closing ')'.
bool isSerialised(const QString& text)
{
    if (text == QLatin1String("@Invalid()"))
        return true;
    if (!text.endsWith(QLatin1Char(')')))
        return false;
    static const char* const types[] = {"@ByteArray(", "@String(", "@Variant(", "@DateTime(",
                                        "@Rect(",      "@Size(",   "@Point("};
    for (const char* type : types) {
        if (text.startsWith(QLatin1String(type)))
            return true;
    }
    return false;
}

Reading interpret(const IniSyntax::Value& value, QString* text)
{
    if (value.isList) {
        *text = value.items.join(QLatin1String(", ")); // for the debug line
        return Reading::List;
    }
    *text = value.text;
    if (!text->startsWith(QLatin1Char('@')))
        return Reading::Text;
    if (isSerialised(*text))
        return Reading::Serialised;
    if (text->startsWith(QLatin1String("@@")))
        text->remove(0, 1); // Qt writes a text's leading '@' doubled
    return Reading::Text;
}

Reading lookup(const QString& path, const QString& group, const QString& key, QString* text)
{
    QByteArray bytes;
    if (!readFile(path, &bytes))
        return Reading::Missing;
    const QString name = IniSyntax::keyPath(group, key);
    const QVector<Entry> entries = IniSyntax::scan(bytes);
    for (int i = entries.size() - 1; i >= 0; --i) { // of a key given twice the last one holds
        const Entry& entry = entries.at(i);
        if (entry.kind == Entry::Key && entry.path == name)
            return interpret(entry.value, text);
    }
    return Reading::Missing;
}

void saySerialised(const QString& group, const QString& key, const QVariant& fallback)
{
    qDebug().noquote() << "config:" << IniSyntax::keyPath(group, key)
                       << "holds a serialised value - default" << fallback.toString();
}

// ---- writing ---------------------------------------------------------------------

QByteArray firstLineEnd(const QByteArray& bytes)
{
    for (int i = 0; i < bytes.size(); ++i) {
        if (bytes.at(i) == '\n')
            return QByteArray("\n");
        if (bytes.at(i) == '\r')
            return i + 1 < bytes.size() && bytes.at(i + 1) == '\n' ? QByteArray("\r\n")
                                                                   : QByteArray("\r");
    }
    return QByteArray("\n");
}

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

// Whether the last line, without its line end, holds only blanks.
bool lastLineIsBlank(const QByteArray& bytes)
{
    int end = bytes.size();
    if (end > 0 && bytes.at(end - 1) == '\n')
        --end;
    if (end > 0 && bytes.at(end - 1) == '\r')
        --end;
    int start = end;
    while (start > 0 && !isLineEnd(bytes.at(start - 1)))
        --start;
    return bytes.mid(start, end - start).trimmed().isEmpty();
}

// The file with the key's value set: in the key's own line (the last one,
// which the readers take), else in a line after the group's last line, else
// in the group added at the end. Every other byte stays as it was.
QByteArray withValue(const QByteArray& bytes, const QVector<Entry>& entries, const QString& group,
                     const QString& key, const QByteArray& written)
{
    const QString prefix = IniSyntax::groupPrefix(group);
    const QString name = prefix + key;
    int keyIndex = -1;
    int lastOfGroup = -1;
    for (int i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries.at(i);
        if (entry.group == prefix)
            lastOfGroup = i;
        if (entry.kind == Entry::Key && entry.path == name)
            keyIndex = i;
    }
    if (keyIndex >= 0) {
        const Entry& entry = entries.at(keyIndex);
        return bytes.left(entry.valueStart) + written + bytes.mid(entry.valueEnd);
    }

    const QByteArray newline = firstLineEnd(bytes);
    const QByteArray line = key.toUtf8() + '=' + written + newline;
    if (lastOfGroup >= 0) {
        int at = entries.at(lastOfGroup).end;
        while (at < bytes.size() && !isLineEnd(bytes.at(at)))
            ++at; // past a comment after it
        if (at == bytes.size())
            return bytes + newline + line;
        at += bytes.mid(at, 2) == "\r\n" ? 2 : 1;
        return bytes.left(at) + line + bytes.mid(at);
    }
    QByteArray out = bytes;
    if (!out.isEmpty() && !isLineEnd(out.back()))
        out += newline;
    if (!lastLineIsBlank(out))
        out += newline;
    if (!group.isEmpty() || !out.isEmpty())
        out += '[' + (group.isEmpty() ? QByteArray("General") : group.toUtf8()) + ']' + newline;
    return out + line;
}

QHash<QString, IniSyntax::Value> keysOf(const QVector<Entry>& entries)
{
    QHash<QString, IniSyntax::Value> keys;
    for (const Entry& entry : entries) {
        if (entry.kind == Entry::Key)
            keys.insert(entry.path, entry.value);
    }
    return keys;
}

// The new file gives the key the text written and every other key what it
// had: a key or group name the file would read otherwise, or a file ending in
// a backslash or an open quote that would take the new line in, fails here.
bool readsBack(const QVector<Entry>& before, const QByteArray& after, const QString& name,
               const QString& text)
{
    QHash<QString, IniSyntax::Value> was = keysOf(before);
    QHash<QString, IniSyntax::Value> now = keysOf(IniSyntax::scan(after));
    QString read;
    if (!now.contains(name) || interpret(now.value(name), &read) != Reading::Text || read != text)
        return false;
    was.remove(name);
    now.remove(name);
    return was == now;
}

// The text a number is read from; false where the default stands (no key, a
// serialised value). A list has no number: its text is left empty.
template <typename T>
bool numberText(const QString& path, const QString& group, const QString& key, T fallback,
                QString* text)
{
    const Reading reading = lookup(path, group, key, text);
    if (reading == Reading::Missing)
        return false;
    if (reading == Reading::Serialised) {
        saySerialised(group, key, fallback);
        return false;
    }
    if (reading != Reading::Text)
        text->clear();
    return true;
}

} // namespace

QString readString(const QString& path, const QString& group, const QString& key,
                   const QString& fallback)
{
    QString text;
    switch (lookup(path, group, key, &text)) {
    case Reading::Missing:
        return fallback;
    case Reading::Text:
        return text;
    case Reading::List:
        qDebug().noquote() << "config:" << IniSyntax::keyPath(group, key)
                           << "is a list (a comma outside quotes) - read as empty:"
                           << text.left(40);
        return QString();
    case Reading::Serialised:
        saySerialised(group, key, fallback);
        return fallback;
    }
    return fallback;
}

int readInt(const QString& path, const QString& group, const QString& key, int fallback)
{
    QString text;
    if (!numberText(path, group, key, fallback, &text))
        return fallback;
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok) {
        qDebug().noquote() << "config:" << IniSyntax::keyPath(group, key)
                           << "is not a whole number in range:" << text.left(40) << "- default"
                           << fallback;
        return fallback;
    }
    return value;
}

double readDouble(const QString& path, const QString& group, const QString& key, double fallback)
{
    QString text;
    if (!numberText(path, group, key, fallback, &text))
        return fallback;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        qDebug().noquote() << "config:" << IniSyntax::keyPath(group, key)
                           << "is not a finite number:" << text.left(40) << "- default" << fallback;
        return fallback;
    }
    return value;
}

bool writeValue(const QString& path, const QString& group, const QString& key,
                const QVariant& value)
{
    const QString name = IniSyntax::keyPath(group, key);
    const auto refuse = [&](const QString& why) {
        qDebug().noquote() << "settings:" << name << "not written to" << path << "-" << why;
        return false;
    };
    if (!value.canConvert<QString>())
        return refuse(QStringLiteral("the value has no text form"));
    const QString text = value.toString();
    // Qt writes such a text as a serialised "@String(...)", which is not read.
    if (text.contains(QChar(0)))
        return refuse(QStringLiteral("a text with a NUL is not kept"));

    QByteArray bytes;
    if (!readFile(path, &bytes) && QFileInfo::exists(path))
        return refuse(QStringLiteral("not a file this can rewrite, left as it is"));
    const QVector<Entry> entries = IniSyntax::scan(bytes);
    const QByteArray out = withValue(bytes, entries, group, key, IniSyntax::escaped(text));
    if (!readsBack(entries, out, name, text))
        return refuse(QStringLiteral("it would not read back as written, file left as it is"));

    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path); // the old file stays whole until the new one is
    if (file.open(QIODevice::WriteOnly) && file.write(out) == out.size() && file.commit())
        return true;
    return refuse(file.errorString());
}

} // namespace Settings
