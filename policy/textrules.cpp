// SPDX-License-Identifier: GPL-2.0-or-later
// The line rules of /etc/login.defs and /etc/default/useradd, over the bytes
// of the files: the whitespace rules hold for text in UTF-8, and a byte that
// is not part of a valid UTF-8 sequence is kept as it is and never counts as
// whitespace. Nothing here depends on the process locale.
#include "policy_p.h"

namespace PasswordExpirationPolicy
{

namespace
{
constexpr char32_t invalidUnit = 0xFFFFFFFF;

bool isContinuation(uchar byte)
{
    return (byte & 0xC0) == 0x80;
}

// The code point of the UTF-8 sequence at `pos` and its length in bytes; a
// byte that does not start a valid, shortest-form sequence is one unit of its
// own, with the code point invalidUnit.
int decodeUnit(const QByteArray &text, int pos, char32_t &codePoint)
{
    const auto at = [&](int i) {
        return uchar(text.at(i));
    };
    const uchar lead = at(pos);
    const int left = text.size() - pos;
    codePoint = invalidUnit;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    int length = 0;
    uchar low = 0x80;
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 1;
    }
    if (left < length || at(pos + 1) < low || at(pos + 1) > high) {
        return 1;
    }
    char32_t value = lead & (0xFF >> (length + 1));
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(at(pos + i))) {
            return 1;
        }
        value = (value << 6) | (at(pos + i) & 0x3F);
    }
    codePoint = value;
    return length;
}

bool isSpaceUnit(char32_t codePoint)
{
    return codePoint != invalidUnit && QChar::isSpace(uint(codePoint));
}

// The first unit of `text` that the predicate accepts: its offset and length,
// or the text's length and 0.
std::pair<int, int> findSeparator(const QByteArray &text, SeparatorPredicate isSeparator)
{
    for (int pos = 0; pos < text.size();) {
        char32_t codePoint;
        const int length = decodeUnit(text, pos, codePoint);
        if (codePoint != invalidUnit && codePoint <= 0xFFFF && isSeparator(QChar(char16_t(codePoint)))) {
            return {pos, length};
        }
        pos += length;
    }
    return {int(text.size()), 0};
}

const QByteArray &byteOrderMark()
{
    static const QByteArray mark("\xEF\xBB\xBF");
    return mark;
}

// Digits only, exactly `width` of them or a "+" and `width` - 1 of them, as
// the date format's fixed-width fields take them.
std::optional<int> dateField(QStringView text, int width)
{
    if (text.size() != width) {
        return std::nullopt;
    }
    int start = text.at(0) == QLatin1Char('+') ? 1 : 0;
    if (width - start < 1) {
        return std::nullopt;
    }
    int value = 0;
    for (int i = start; i < width; ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

bool isAsciiSpace(QChar c)
{
    return c == QLatin1Char(' ') || (c >= QLatin1Char('\t') && c <= QLatin1Char('\r'));
}
} // namespace

QString decodedText(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (int pos = 0; pos < bytes.size();) {
        char32_t codePoint;
        pos += decodeUnit(bytes, pos, codePoint);
        if (codePoint == invalidUnit) {
            text += QChar(QChar::ReplacementCharacter);
        } else if (QChar::requiresSurrogates(uint(codePoint))) {
            text += QChar(QChar::highSurrogate(uint(codePoint)));
            text += QChar(QChar::lowSurrogate(uint(codePoint)));
        } else {
            text += QChar(char16_t(codePoint));
        }
    }
    return text;
}

QByteArray trimmedLine(const QByteArray &line)
{
    int begin = 0;
    int end = 0;
    bool seenText = false;
    for (int pos = 0; pos < line.size();) {
        char32_t codePoint;
        const int length = decodeUnit(line, pos, codePoint);
        if (!isSpaceUnit(codePoint)) {
            if (!seenText) {
                begin = pos;
                seenText = true;
            }
            end = pos + length;
        }
        pos += length;
    }
    return seenText ? line.mid(begin, end - begin) : QByteArray();
}

PolicyLine policyLine(const QByteArray &trimmed, SeparatorPredicate isSeparator)
{
    PolicyLine line;
    if (trimmed.startsWith('#')) {
        line.comment = true;
        return line;
    }
    const auto [split, length] = findSeparator(trimmed, isSeparator);
    line.key = decodedText(trimmed.left(split));
    line.value = decodedText(trimmedLine(trimmed.mid(split + length)));
    return line;
}

PolicyText splitPolicyText(const QByteArray &content)
{
    PolicyText text;
    int pos = 0;
    if (content.startsWith(byteOrderMark())) {
        text.byteOrderMark = byteOrderMark();
        pos = byteOrderMark().size();
    }
    while (pos < content.size()) {
        int end = content.indexOf('\n', pos);
        if (end < 0) {
            end = content.size();
        }
        text.lines.append(content.mid(pos, end - pos));
        pos = end + 1;
    }
    return text;
}

Result<ParamMap> paramsFromText(const QByteArray &content, const QSet<QString> &keys, SeparatorPredicate isSeparator, const QString &path)
{
    ParamMap params;
    const PolicyText text = splitPolicyText(content);
    for (const QByteArray &rawLine : text.lines) {
        const QByteArray trimmed = trimmedLine(rawLine);
        if (trimmed.isEmpty()) {
            continue;
        }
        const PolicyLine line = policyLine(trimmed, isSeparator);
        if (line.comment || !keys.contains(line.key)) {
            continue;
        }
        if (params.contains(line.key)) {
            return Error{-1, QStringLiteral("The configuration file %1 contains several definitions of the same parameter").arg(path)};
        }
        params.insert(line.key, line.value);
    }
    return params;
}

QByteArray rewrittenText(const QByteArray &content, const ParamMap &params, SeparatorPredicate isSeparator, QChar separator)
{
    const PolicyText text = splitPolicyText(content);
    const QByteArray separatorBytes = QString(separator).toUtf8();
    QByteArray out = text.byteOrderMark;
    out.reserve(content.size() + 64);
    QStringList pending = params.keys();
    const auto definition = [&](const QString &key) -> QByteArray {
        return key.toUtf8() + separatorBytes + params.value(key).toUtf8() + '\n';
    };
    for (const QByteArray &rawLine : text.lines) {
        const QByteArray trimmed = trimmedLine(rawLine);
        const PolicyLine line = policyLine(trimmed, isSeparator);
        if (line.comment || !params.contains(line.key)) {
            out += trimmed + '\n';
        } else if (pending.removeOne(line.key)) {
            out += definition(line.key);
        } else {
            // An earlier line already carries this key.
            out += '#' + trimmed + '\n';
        }
    }
    for (const QString &key : std::as_const(pending)) {
        out += definition(key);
    }
    // A first line that starts with U+FEFF once its leading whitespace is
    // gone would read as a file with a byte-order mark: give it one, so that
    // the line keeps its U+FEFF.
    if (text.byteOrderMark.isEmpty() && out.startsWith(byteOrderMark())) {
        out.prepend(byteOrderMark());
    }
    return out;
}

std::optional<qint32> parseDayCount(QStringView text)
{
    // A decimal number with an optional sign, as QString::toInt takes it in
    // Qt 5: ASCII digits only, blanks allowed around it, within 32 bits.
    int begin = 0;
    int end = text.size();
    while (begin < end && isAsciiSpace(text.at(begin))) {
        ++begin;
    }
    while (end > begin && isAsciiSpace(text.at(end - 1))) {
        --end;
    }
    bool negative = false;
    if (begin < end && (text.at(begin) == QLatin1Char('+') || text.at(begin) == QLatin1Char('-'))) {
        negative = text.at(begin) == QLatin1Char('-');
        ++begin;
    }
    if (begin == end) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (int i = begin; i < end; ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
        value = value * 10 + (c.unicode() - '0');
        if (value > qint64(std::numeric_limits<qint32>::max()) + 1) {
            return std::nullopt;
        }
    }
    value = negative ? -value : value;
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max()) {
        return std::nullopt;
    }
    return qint32(value);
}

QDate parseExpireDate(QStringView text)
{
    // "yyyy-MM-dd": fields of fixed width, each digits or a "+" and digits.
    if (text.size() != 10 || text.at(4) != QLatin1Char('-') || text.at(7) != QLatin1Char('-')) {
        return QDate();
    }
    const std::optional<int> year = dateField(text.mid(0, 4), 4);
    const std::optional<int> month = dateField(text.mid(5, 2), 2);
    const std::optional<int> day = dateField(text.mid(8, 2), 2);
    if (!year || !month || !day || !QDate::isValid(*year, *month, *day)) {
        return QDate();
    }
    return QDate(*year, *month, *day);
}

QString expireDateText(const QDate &date)
{
    return date.isValid() ? date.toString(expireDateFormat()) : QString();
}

} // namespace PasswordExpirationPolicy
