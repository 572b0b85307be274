#include "app/IniSyntax.h"

#include <QTextCodec>

namespace IniSyntax {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

int hexValue(uint c)
{
    if (c >= '0' && c <= '9')
        return int(c - '0');
    if (c >= 'a' && c <= 'f')
        return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return int(c - 'A' + 10);
    return -1;
}

bool isOctal(char c)
{
    return c >= '0' && c <= '7';
}

// The one-letter escapes and what they stand for; 0 for any other letter.
char plainEscape(char c)
{
    switch (c) {
    case 'a':
        return '\a';
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    case 'v':
        return '\v';
    case '"':
    case '?':
    case '\'':
    case '\\':
        return c;
    default:
        return 0;
    }
}

// One line as the reader takes it, [start, end); equals is the first '='
// outside quotes, or -1.
struct Line
{
    int start = 0;
    int end = 0;
    int equals = -1;
};

// Blank lines and lines starting with ';' are passed over. A line ends at a
// line end or a ';' outside quotes (the rest is a comment); a quote left open
// carries it over line ends, and a backslash takes the next character in
// (a line end too, with its CR LF or LF CR partner).
bool nextLine(const QByteArray& d, int& pos, Line* line)
{
    const int size = d.size();
    for (;;) {
        while (pos < size && (isBlank(d.at(pos)) || isLineEnd(d.at(pos))))
            ++pos;
        if (pos >= size || d.at(pos) != ';')
            break;
        while (pos < size && !isLineEnd(d.at(pos)))
            ++pos;
    }
    if (pos >= size)
        return false;
    line->start = pos;
    line->equals = -1;
    bool inQuotes = false;
    int i = pos;
    while (i < size) {
        const char c = d.at(i);
        if (!inQuotes && (isLineEnd(c) || c == ';'))
            break;
        ++i;
        if (c == '=' && !inQuotes && line->equals < 0) {
            line->equals = i - 1;
        } else if (c == '"') {
            inQuotes = !inQuotes;
        } else if (c == '\\' && i < size) {
            const char next = d.at(i++);
            if (i < size && isLineEnd(next) && isLineEnd(d.at(i)) && d.at(i) != next)
                ++i;
        }
    }
    line->end = i;
    pos = i;
    return true;
}

// A key's or group's name: bytes as Latin-1, '\' as '/', "%XX" and "%UXXXX"
// as the character of that hex code; a '%' without them stays.
QString unescapedName(const QByteArray& d, int from, int to)
{
    QString name;
    name.reserve(to - from);
    int i = from;
    while (i < to) {
        const char c = d.at(i);
        if (c == '\\') {
            name += QLatin1Char('/');
            ++i;
            continue;
        }
        if (c == '%' && i + 1 < to) {
            const bool wide = d.at(i + 1) == 'U';
            const int first = i + (wide ? 2 : 1);
            const int digits = wide ? 4 : 2;
            bool ok = false;
            const ushort code = first + digits <= to ? d.mid(first, digits).toUShort(&ok, 16) : 0;
            if (ok) {
                name += QChar(code);
                i = first + digits;
                continue;
            }
        }
        name += QLatin1Char(c);
        ++i;
    }
    return name;
}

// The value's text in [from, to). Blanks at either end go, unless a quote
// stands anywhere in it; only blanks after the last escape are taken off, and
// none when the line ends in a bare backslash or "\x". A hex or octal escape
// takes every digit that follows and keeps the low 16 bits.
Value readValue(const QByteArray& d, int from, int to, QTextCodec* codec)
{
    Value value;
    QString text;
    bool inQuotes = false;
    bool quoted = false;
    bool trimEnd = true;
    int kept = 0; // characters of `text` that trimming may not take
    int i = from;
    const auto skipBlanks = [&] {
        while (i < to && isBlank(d.at(i)))
            ++i;
        kept = text.size();
    };
    const auto trim = [&] {
        if (quoted)
            return;
        int n = text.size();
        while (n > kept &&
               (text.at(n - 1) == QLatin1Char(' ') || text.at(n - 1) == QLatin1Char('\t')))
            --n;
        text.truncate(n);
    };

    skipBlanks();
    while (i < to) {
        const char c = d.at(i);
        if (c == '\\') {
            if (++i >= to) {
                trimEnd = false;
                break;
            }
            const char e = d.at(i++);
            if (const char plain = plainEscape(e)) {
                text += QLatin1Char(plain);
            } else if (e == 'x' || isOctal(e)) {
                const bool hex = e == 'x';
                if (hex && i >= to) {
                    trimEnd = false;
                    break;
                }
                if (!hex || hexValue(uchar(d.at(i))) >= 0) {
                    quint32 code = hex ? 0 : quint32(e - '0');
                    while (i < to) {
                        const int digit = hex ? hexValue(uchar(d.at(i)))
                                              : (isOctal(d.at(i)) ? d.at(i) - '0' : -1);
                        if (digit < 0)
                            break;
                        code = code * (hex ? 16 : 8) + quint32(digit);
                        ++i;
                    }
                    text += QChar(ushort(code & 0xFFFF));
                }
            } else if (isLineEnd(e)) {
                if (i < to && isLineEnd(d.at(i)) && d.at(i) != e)
                    ++i; // the line goes on
            }
            // any other escaped character is dropped
            kept = text.size();
        } else if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipBlanks();
        } else if (c == ',' && !inQuotes) {
            trim();
            value.isList = true;
            value.items.append(text);
            text.clear();
            quoted = false;
            ++i;
            skipBlanks();
        } else {
            int j = i + 1;
            while (j < to && d.at(j) != '\\' && d.at(j) != '"' && d.at(j) != ',')
                ++j;
            text += codec ? codec->toUnicode(d.constData() + i, j - i)
                          : QString::fromLatin1(d.constData() + i, j - i);
            i = j;
        }
    }
    if (trimEnd)
        trim();
    if (value.isList)
        value.items.append(text);
    else
        value.text = text;
    return value;
}

// Where the value's bytes lie, to be replaced: after '=' and its blanks, up
// to the line's end; blanks before a comment stay with the comment, and the
// line end a backslash or an open quote took in at the file's end stays too.
void valueSpan(const QByteArray& d, const Line& line, Entry* entry)
{
    int start = line.equals + 1;
    int end = line.end;
    while (end > start && isLineEnd(d.at(end - 1)))
        --end;
    if (line.end < d.size() && d.at(line.end) == ';') {
        while (end > start && isBlank(d.at(end - 1)))
            --end;
    }
    while (start < end && isBlank(d.at(start)))
        ++start;
    entry->valueStart = start;
    entry->valueEnd = end;
}

} // namespace

QVector<Entry> scan(const QByteArray& bytes)
{
    QVector<Entry> entries;
    int pos = 0;
    // Without a byte-order mark the bytes are Latin-1, as Qt reads them
    // without a codec; with one, values are UTF-8 (names stay Latin-1).
    QTextCodec* codec = nullptr;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        codec = QTextCodec::codecForName("UTF-8");
        pos = 3; // Qt keeps it in the first name of the top level; that name is never asked for
    }
    QString group;
    Line line;
    while (nextLine(bytes, pos, &line)) {
        Entry entry;
        entry.end = line.end;
        if (bytes.at(line.start) == '[') {
            const int close = bytes.indexOf(']', line.start);
            const int nameEnd = close < 0 || close >= line.end ? line.end : close;
            const QByteArray name = bytes.mid(line.start + 1, nameEnd - line.start - 1).trimmed();
            if (name.compare("general", Qt::CaseInsensitive) == 0)
                group.clear(); // "[General]" is the top level
            else if (name.compare("%general", Qt::CaseInsensitive) == 0)
                group = QString::fromLatin1(name.mid(1)) + QLatin1Char('/');
            else
                group = unescapedName(name, 0, name.size()) + QLatin1Char('/');
            entry.kind = Entry::Group;
            entry.group = group;
            entry.path = group;
        } else if (line.equals >= 0) {
            int keyEnd = line.equals;
            while (keyEnd > line.start && isBlank(bytes.at(keyEnd - 1)))
                --keyEnd;
            entry.kind = Entry::Key;
            entry.group = group;
            entry.path = group + unescapedName(bytes, line.start, keyEnd);
            entry.value = readValue(bytes, line.equals + 1, line.end, codec);
            valueSpan(bytes, line, &entry);
        } else {
            continue; // no '=': nothing
        }
        entries.append(entry);
    }
    return entries;
}

QString groupPrefix(const QString& group)
{
    return group.isEmpty() ? QString() : group + QLatin1Char('/');
}

QString keyPath(const QString& group, const QString& key)
{
    return groupPrefix(group) + key;
}

QByteArray escaped(const QString& value)
{
    // Qt doubles a leading '@' so that the text is not taken for a "@Type(...)".
    const QString text = value.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + value : value;
    QByteArray out;
    out.reserve(text.size() + 2);
    bool quote = false;
    bool afterHex = false; // a hex digit after a \x escape would be read into it
    for (const QChar ch : text) {
        const ushort u = ch.unicode();
        if (u == ';' || u == ',' || u == '=')
            quote = true;
        if (afterHex && hexValue(u) >= 0) {
            out += "\\x" + QByteArray::number(u, 16);
            continue;
        }
        afterHex = false;
        switch (u) {
        case '\a':
            out += "\\a";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\v':
            out += "\\v";
            break;
        case '"':
        case '\\':
            out += '\\';
            out += char(u);
            break;
        default:
            if (u <= 0x1F || u >= 0x7F) {
                out += "\\x" + QByteArray::number(u, 16);
                afterHex = true;
            } else {
                out += char(u);
            }
        }
    }
    if (quote || out.startsWith(' ') || out.endsWith(' '))
        out = '"' + out + '"';
    return out;
}

} // namespace IniSyntax
