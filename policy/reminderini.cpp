// SPDX-License-Identifier: GPL-2.0-or-later
// The reminder settings file: INI text read and edited over its bytes. The
// rules are those of Qt's INI format, which the file has always been written
// in (sections, "[General]" for the top level, keys with %-escapes, values
// with quotes, escapes and commas, ";" comments that may also end a line),
// with one addition: a line whose first non-blank character is "#" is a
// comment as well, as configuration management tools write them.
//
// Editing replaces the bytes of the lines that hold the three reminder keys
// and nothing else, so comments, other keys and sections stay as they were.
#include "policy_p.h"

namespace PasswordExpirationPolicy
{

namespace
{
bool isIniSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

// Skips from `pos` to the end of the physical line and the blanks after it.
int skipComment(const QByteArray &data, int pos)
{
    while (pos < data.size() && !isLineEnd(data.at(pos))) {
        ++pos;
    }
    while (pos < data.size() && isIniSpace(data.at(pos))) {
        ++pos;
    }
    return pos;
}

// A key as the INI format escapes it: "\" stands for "/", %XX and %UXXXX for
// the character with that code.
QString unescapedKey(const QByteArray &data, int from, int to)
{
    QString key;
    int i = from;
    while (i < to) {
        const char ch = data.at(i);
        if (ch == '\\') {
            key += QLatin1Char('/');
            ++i;
            continue;
        }
        if (ch != '%' || i == to - 1) {
            key += QLatin1Char(ch);
            ++i;
            continue;
        }
        int digits = 2;
        int first = i + 1;
        if (data.at(i + 1) == 'U') {
            ++first;
            digits = 4;
        }
        bool ok = false;
        const int code = first + digits <= to ? data.mid(first, digits).toInt(&ok, 16) : 0;
        if (!ok) {
            key += QLatin1Char('%');
            ++i;
            continue;
        }
        key += QChar(char16_t(code));
        i = first + digits;
    }
    return key;
}

void chopTrailingBlanks(QString &text, int limit)
{
    int n = text.size() - 1;
    while (n >= limit && (text.at(n) == QLatin1Char(' ') || text.at(n) == QLatin1Char('\t'))) {
        text.truncate(n--);
    }
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// A value as the INI format writes it: blanks around it dropped, quoted parts
// kept as they are, backslash escapes, and commas outside quotes separating
// the items of a list.
IniValue unescapedValue(const QByteArray &data, int from, int to)
{
    IniValue value;
    QStringList items;
    QString current;
    bool isList = false;
    bool inQuotes = false;
    bool quoted = false;
    int chopLimit = 0;
    int i = from;
    const auto skipBlanks = [&] {
        while (i < to && (data.at(i) == ' ' || data.at(i) == '\t')) {
            ++i;
        }
        chopLimit = current.size();
    };
    // A backslash at the very end ends the value as it stands, blanks and all.
    bool endedByBackslash = false;
    skipBlanks();
    while (i < to) {
        const char ch = data.at(i);
        if (ch == '\\') {
            ++i;
            if (i >= to) {
                endedByBackslash = true;
                break;
            }
            const char escaped = data.at(i++);
            static const char plain[][2] =
                {{'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'}, {'r', '\r'}, {'t', '\t'}, {'v', '\v'}, {'"', '"'}, {'?', '?'}, {'\'', '\''}, {'\\', '\\'}};
            bool done = false;
            for (const auto &code : plain) {
                if (escaped == code[0]) {
                    current += QLatin1Char(code[1]);
                    done = true;
                    break;
                }
            }
            if (done) {
                chopLimit = current.size();
                continue;
            }
            if (escaped == 'x' || (escaped >= '0' && escaped <= '7')) {
                const bool hex = escaped == 'x';
                if (hex && (i >= to || hexValue(data.at(i)) < 0)) {
                    // "\x" without a digit: the pair is dropped.
                    chopLimit = current.size();
                    continue;
                }
                char16_t code = hex ? 0 : char16_t(escaped - '0');
                while (i < to) {
                    const int digit = hex ? hexValue(data.at(i)) : (data.at(i) >= '0' && data.at(i) <= '7' ? data.at(i) - '0' : -1);
                    if (digit < 0) {
                        break;
                    }
                    code = char16_t(code * (hex ? 16 : 8) + digit);
                    ++i;
                }
                current += QChar(code);
                chopLimit = current.size();
                continue;
            }
            if (isLineEnd(escaped) && i < to && isLineEnd(data.at(i)) && data.at(i) != escaped) {
                ++i;
            }
            // Any other escaped character is dropped.
            chopLimit = current.size();
            continue;
        }
        if (ch == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                skipBlanks();
            }
            continue;
        }
        if (ch == ',' && !inQuotes) {
            if (!quoted) {
                chopTrailingBlanks(current, chopLimit);
            }
            isList = true;
            items.append(current);
            current.clear();
            quoted = false;
            ++i;
            skipBlanks();
            continue;
        }
        int j = i + 1;
        while (j < to && data.at(j) != '\\' && data.at(j) != '"' && data.at(j) != ',') {
            ++j;
        }
        current += decodedText(data.mid(i, j - i));
        i = j;
    }
    if (!quoted && !endedByBackslash) {
        chopTrailingBlanks(current, chopLimit);
    }
    if (isList) {
        items.append(current);
        value.kind = IniValue::List;
        value.items = items;
        return value;
    }
    // The format's markers for values that are not plain text.
    if (current.startsWith(QLatin1Char('@'))) {
        if (current.startsWith(QLatin1String("@@"))) {
            current.remove(0, 1);
        } else if (current == QLatin1String("@Invalid()")) {
            value.kind = IniValue::Invalid;
            return value;
        } else if (current.endsWith(QLatin1Char(')')) && current.startsWith(QLatin1String("@String("))) {
            current = current.mid(8, current.size() - 9);
        } else if (current.endsWith(QLatin1Char(')')) && current.startsWith(QLatin1String("@ByteArray("))) {
            current = current.mid(11, current.size() - 12);
        } else if (current.endsWith(QLatin1Char(')'))
                   && (current.startsWith(QLatin1String("@Variant(")) || current.startsWith(QLatin1String("@DateTime("))
                       || current.startsWith(QLatin1String("@Rect(")) || current.startsWith(QLatin1String("@Size("))
                       || current.startsWith(QLatin1String("@Point(")))) {
            value.kind = IniValue::Unsupported;
            return value;
        }
    }
    value.text = current;
    return value;
}

// Whether the text before `end` ends in a backslash that would escape the
// next character: an odd number of them.
bool endsWithEscape(const QByteArray &data, int end)
{
    int count = 0;
    while (end - count > 0 && data.at(end - count - 1) == '\\') {
        ++count;
    }
    return count % 2 == 1;
}

// The line break that lines added at `insertAt` need before them so that
// they start a line of their own: none after a line break, one at the end of
// a last line without one; one more where a backslash before takes the next
// character, a line break too, as part of the line. That one repeats the
// break before it: a line feed after a lone carriage return would join it
// into one break, which the backslash would take whole.
QByteArray breakBefore(const QByteArray &data, int insertAt)
{
    if (insertAt == 0) {
        return QByteArray();
    }
    const char last = data.at(insertAt - 1);
    if (!isLineEnd(last)) {
        return endsWithEscape(data, insertAt) ? QByteArray("\n\n") : QByteArray("\n");
    }
    int breakStart = insertAt - 1;
    if (breakStart > 0 && isLineEnd(data.at(breakStart - 1)) && data.at(breakStart - 1) != last) {
        --breakStart;
    }
    return endsWithEscape(data, breakStart) ? QByteArray(1, last) : QByteArray();
}

// Where a line ends, past its line feed.
int physicalLineEnd(const QByteArray &data, int pos)
{
    while (pos < data.size() && !isLineEnd(data.at(pos))) {
        ++pos;
    }
    if (pos < data.size()) {
        const char first = data.at(pos++);
        if (pos < data.size() && isLineEnd(data.at(pos)) && data.at(pos) != first) {
            ++pos;
        }
    }
    return pos;
}
} // namespace

bool nextIniLine(const QByteArray &data, int &pos, IniLine &line)
{
    const int size = data.size();
    int start = pos;
    for (;;) {
        while (start < size && isIniSpace(data.at(start))) {
            ++start;
        }
        if (start < size && (data.at(start) == ';' || data.at(start) == '#')) {
            start = skipComment(data, start);
            continue;
        }
        break;
    }
    line.start = start;
    line.equalsPos = -1;
    bool inQuotes = false;
    int i = start;
    while (i < size) {
        const char ch = data.at(i);
        if (ch == '=') {
            if (!inQuotes && line.equalsPos == -1) {
                line.equalsPos = i;
            }
        } else if (isLineEnd(ch)) {
            if (!inQuotes) {
                break;
            }
        } else if (ch == '\\') {
            // The escaped character belongs to the line, a line break too.
            if (i + 1 < size) {
                ++i;
                const char escaped = data.at(i);
                if (i + 1 < size && isLineEnd(escaped) && isLineEnd(data.at(i + 1)) && data.at(i + 1) != escaped) {
                    ++i;
                }
            }
        } else if (ch == '"') {
            inQuotes = !inQuotes;
        } else if (ch == ';' && !inQuotes) {
            // A comment ends the line; it is a line of its own then.
            break;
        }
        ++i;
    }
    pos = i;
    line.length = i - start;
    line.openQuote = inQuotes;
    return line.length > 0;
}

IniDocument parseIniDocument(const QByteArray &data)
{
    IniDocument document;
    int pos = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    QString section; // empty for the top level
    IniLine line;
    while (nextIniLine(data, pos, line)) {
        document.endsInQuotes = line.openQuote;
        if (data.at(line.start) == '[') {
            IniSectionHeader header;
            header.start = line.start;
            header.end = physicalLineEnd(data, line.start + line.length);
            const int close = data.indexOf(']', line.start);
            QByteArray name;
            if (close == -1 || close >= line.start + line.length) {
                if (document.wellFormed) {
                    document.malformedAt = line.start;
                }
                document.wellFormed = false;
                name = data.mid(line.start + 1, line.length - 1);
            } else {
                name = data.mid(line.start + 1, close - line.start - 1);
            }
            name = name.trimmed();
            if (name.compare("general", Qt::CaseInsensitive) == 0) {
                section.clear();
            } else if (name.compare("%general", Qt::CaseInsensitive) == 0) {
                section = QString::fromLatin1(name.mid(1)) + QLatin1Char('/');
            } else {
                section = unescapedKey(name, 0, name.size()) + QLatin1Char('/');
            }
            header.topLevel = section.isEmpty();
            document.headers.append(header);
            continue;
        }
        if (line.equalsPos == -1) {
            if (document.wellFormed) {
                document.malformedAt = line.start;
            }
            document.wellFormed = false;
            continue;
        }
        int keyEnd = line.equalsPos;
        while (keyEnd > line.start && (data.at(keyEnd - 1) == ' ' || data.at(keyEnd - 1) == '\t')) {
            --keyEnd;
        }
        IniEntry entry;
        entry.key = section + unescapedKey(data, line.start, keyEnd);
        entry.start = line.start;
        entry.length = line.length;
        entry.value = unescapedValue(data, line.equalsPos + 1, line.start + line.length);
        entry.sectionIndex = document.headers.size() - 1;
        document.entries.append(entry);
    }
    return document;
}

std::optional<bool> reminderFlag(const IniValue *value)
{
    if (!value) {
        return false;
    }
    switch (value->kind) {
    case IniValue::Text:
        return !(value->text.isEmpty() || value->text == QLatin1String("0") || value->text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0);
    case IniValue::List:
    case IniValue::Invalid:
        return false;
    case IniValue::Unsupported:
        break;
    }
    return std::nullopt;
}

int countedEntry(const IniDocument &document, const QString &key)
{
    for (int i = document.entries.size() - 1; i >= 0; --i) {
        if (document.entries.at(i).key == key) {
            return i;
        }
    }
    return -1;
}

namespace
{
const IniValue *topLevelValue(const IniDocument &document, const QString &key)
{
    const int index = countedEntry(document, key);
    return index < 0 ? nullptr : &document.entries.at(index).value;
}
} // namespace

ReminderSettings reminderSettingsFromText(const QByteArray &data)
{
    ReminderSettings settings;
    const IniDocument document = parseIniDocument(data);
    const QString localKey = QStringLiteral("RECEIVE_NOTIFY_FOR_LOCAL");
    const QString domainKey = QStringLiteral("RECEIVE_NOTIFY_FOR_DOMAIN");
    const QString daysKey = QStringLiteral("NOTIFY_DAYS");
    if (!document.wellFormed) {
        settings.error = unexpectedValue(localKey);
        return settings;
    }
    const std::optional<bool> local = reminderFlag(topLevelValue(document, localKey));
    if (!local) {
        settings.error = unexpectedValue(localKey);
        return settings;
    }
    const std::optional<bool> domain = reminderFlag(topLevelValue(document, domainKey));
    if (!domain) {
        settings.error = unexpectedValue(domainKey);
        return settings;
    }
    settings.receiveNotifyForLocal = *local;
    settings.receiveNotifyForDomain = *domain;
    if (const IniValue *days = topLevelValue(document, daysKey)) {
        const std::optional<qint32> number = days->kind == IniValue::Text ? parseDayCount(days->text) : std::nullopt;
        if (!number) {
            settings.error = unexpectedValue(daysKey);
            return settings;
        }
        settings.notifyDays = *number;
    }
    return settings;
}

std::optional<QByteArray> rewrittenIni(const QByteArray &data, const ParamMap &values)
{
    const IniDocument document = parseIniDocument(data);
    if (!document.wellFormed) {
        return std::nullopt;
    }

    // Replacements of byte ranges, applied from the end so that earlier
    // offsets stay valid.
    struct Edit {
        int start;
        int length;
        QByteArray text;
    };
    QList<Edit> edits;
    QStringList pending = values.keys();
    const auto definition = [&](const QString &key) -> QByteArray {
        return key.toUtf8() + '=' + values.value(key).toUtf8();
    };
    int lastTopLevelEnd = -1; // end of the last entry of the first top-level block
    int firstTopLevelBlock = -2; // header index of that block; -1 is before any header
    for (const IniEntry &entry : document.entries) {
        const bool topLevel = !entry.key.contains(QLatin1Char('/'));
        if (!topLevel) {
            continue;
        }
        if (firstTopLevelBlock == -2) {
            firstTopLevelBlock = entry.sectionIndex;
        }
        if (entry.sectionIndex == firstTopLevelBlock) {
            lastTopLevelEnd = entry.start + entry.length;
        }
        if (!values.contains(entry.key)) {
            continue;
        }
        if (pending.removeOne(entry.key)) {
            edits.append({entry.start, entry.length, definition(entry.key)});
        } else {
            // An earlier line already carries this key: comment out every
            // physical line of this one.
            QByteArray commented = data.mid(entry.start, entry.length);
            commented.prepend(';');
            for (int i = 1; i < commented.size(); ++i) {
                if (isLineEnd(commented.at(i - 1)) && !isLineEnd(commented.at(i))) {
                    commented.insert(i, ';');
                }
            }
            edits.append({entry.start, entry.length, commented});
        }
    }

    if (!pending.isEmpty()) {
        QByteArray added;
        for (const QString &key : std::as_const(pending)) {
            added += definition(key) + '\n';
        }
        int insertAt = -1;
        if (lastTopLevelEnd >= 0) {
            // After the line of the block's last entry.
            insertAt = physicalLineEnd(data, lastTopLevelEnd);
        } else {
            for (const IniSectionHeader &header : document.headers) {
                if (header.topLevel) {
                    insertAt = header.end;
                    break;
                }
            }
        }
        if (insertAt < 0) {
            // No top level yet: a [General] section of its own at the end.
            insertAt = data.size();
            added.prepend("[General]\n");
        }
        if (insertAt == data.size() && document.endsInQuotes) {
            // Lines added there would be part of another key's value.
            return std::nullopt;
        }
        edits.append({insertAt, 0, breakBefore(data, insertAt) + added});
    }

    QByteArray out = data;
    std::sort(edits.begin(), edits.end(), [](const Edit &a, const Edit &b) {
        return a.start > b.start;
    });
    for (const Edit &edit : std::as_const(edits)) {
        out.replace(edit.start, edit.length, edit.text);
    }
    return out;
}

} // namespace PasswordExpirationPolicy
