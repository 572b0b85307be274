#pragma once
// How an INI file reads and how a text is written into one, as Qt's INI format
// does it (QSettings without a text codec, as the program uses it), so that
// files edited by hand or written by Qt read the same here: ';' comments, also
// after a value, quotes, backslash escapes, lines continued by a backslash,
// "%XX" in names, a comma outside quotes making a list. Values stay texts: the
// "@Type(...)" forms Qt turns into objects are left to the caller to refuse.
// Pure functions of bytes; any thread.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

namespace IniSyntax {

// A value as the file gives it: escapes decoded, quotes and outer blanks gone.
struct Value
{
    QString text;      // when not a list
    QStringList items; // when a list
    bool isList = false;

    bool operator==(const Value& other) const
    {
        return isList == other.isList && text == other.text && items == other.items;
    }
    bool operator!=(const Value& other) const { return !(*this == other); }
};

// A group header or a key's line, where a line continued by a backslash or
// by an open quote counts once.
struct Entry
{
    enum Kind
    {
        Group,
        Key
    } kind = Key;
    QString group;      // the group it is in: "" at the top level, else "Com/"
    QString path;       // a key's full name: "Com/baudRate"
    int end = 0;        // where the line stops: a line end, a comment's ';' or the file's end
    int valueStart = 0; // the value's bytes, without the blanks round it
    int valueEnd = 0;
    Value value;
};

// Every header and key of the file, in file order; of a key given twice
// QSettings takes the last.
QVector<Entry> scan(const QByteArray& bytes);

// The name QSettings gives a key in a group ("" is the top level).
QString keyPath(const QString& group, const QString& key);
QString groupPrefix(const QString& group);

// A text as Qt writes a string: a leading '@' doubled, quotes and backslashes
// escaped, control and non-ASCII characters as \x escapes, quotes round it
// when it holds ';', ',' or '=' or has a blank at either end.
QByteArray escaped(const QString& text);

} // namespace IniSyntax
