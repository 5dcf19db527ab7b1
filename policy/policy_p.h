// SPDX-License-Identifier: GPL-2.0-or-later
// Internal pieces of the policy library, shared by its reader and writer and
// reached by the unit tests through the path arguments.
#pragma once

#include "policy.h"

#include <QSet>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace PasswordExpirationPolicy
{

using ParamMap = QMap<QString, QString>;
// Recognises the character that separates a key from its value.
using SeparatorPredicate = bool (*)(QChar);

inline const QString &loginDefsPath()
{
    static const QString path = QStringLiteral("/etc/login.defs");
    return path;
}

inline const QString &useraddDefaultsPath()
{
    static const QString path = QStringLiteral("/etc/default/useradd");
    return path;
}

inline const QString &settingsPath()
{
    static const QString path = QStringLiteral("/etc/password-expiration-policy/config.ini");
    return path;
}

inline const QString &expireDateFormat()
{
    static const QString format = QStringLiteral("yyyy-MM-dd");
    return format;
}

// The four day counts of the two system files: the file that holds each, the
// lowest value the reader accepts (also the value of an absent key) and the
// Config member it fills. The reader, the writer and the helper's checks all
// work from this one table.
struct DayCountParam {
    const char *key;
    bool inLoginDefs;
    int minimum;
    qint32 Config::*member;
};

inline constexpr DayCountParam dayCountParams[] = {
    {"PASS_MIN_DAYS", true, 0, &Config::passMinDays},
    {"PASS_MAX_DAYS", true, -1, &Config::passMaxDays},
    {"PASS_WARN_AGE", true, -1, &Config::passWarnAge},
    {"INACTIVE", false, -1, &Config::inactiveDays},
};

// The keys the reader takes from /etc/login.defs and /etc/default/useradd.
const QSet<QString> &loginDefsKeys();
const QSet<QString> &useraddKeys();

// "Parameter %1 has an unexpected value" for the key.
Error unexpectedValue(const QString &key);

// "Could not opening configuration file %1: %2" for a file that cannot be
// opened, with the I/O layer's reason.
Error openFailure(const QString &path, const QString &reason);

// login.defs separates key and value by any whitespace, useradd by "=".
bool isLoginDefsSeparator(QChar c);
bool isUseraddSeparator(QChar c);

// A settings object on a reminder settings file of the caller's choice;
// settings() is this on the fixed path.
QSettings settingsAt(const QString &path);

// --- The line rules of the two system files, over their bytes (textrules.cpp)

// The text of UTF-8 bytes, each byte outside a valid sequence as U+FFFD,
// the same with every Qt version. A U+FEFF is kept wherever it stands: only
// a file's first bytes can be a byte-order mark, and those are taken away
// before.
QString decodedText(const QByteArray &bytes);

// The line without the whitespace (QChar::isSpace) at its ends, decoded as
// UTF-8; a byte outside a valid UTF-8 sequence is never whitespace.
QByteArray trimmedLine(const QByteArray &line);

// What one trimmed line holds: a comment ("#" first), or a key (everything
// before the first separator) and its value (the trimmed rest).
struct PolicyLine {
    bool comment = false;
    QString key;
    QString value;
};
PolicyLine policyLine(const QByteArray &trimmed, SeparatorPredicate isSeparator);

// A file's lines, split at line feeds, without a leading UTF-8 byte-order
// mark, which is kept apart.
struct PolicyText {
    QByteArray byteOrderMark;
    QList<QByteArray> lines;
};
PolicyText splitPolicyText(const QByteArray &content);

// The values of the given keys in a file's text; a key defined twice is the
// error naming `path`.
Result<ParamMap> paramsFromText(const QByteArray &content, const QSet<QString> &keys, SeparatorPredicate isSeparator, const QString &path);

// The text with the definitions of the given keys rewritten in place (key,
// separator, value), repeated definitions commented out with "#", missing
// keys appended in ascending order; every other line trimmed and otherwise
// byte for byte as it was, each ended by a line feed.
QByteArray rewrittenText(const QByteArray &content, const ParamMap &params, SeparatorPredicate isSeparator, QChar separator);

// A day count: a decimal number with an optional sign within 32 bits, ASCII
// blanks around it allowed; nothing for anything else.
std::optional<qint32> parseDayCount(QStringView text);

// A date in the form yyyy-MM-dd (fixed-width fields of digits, each perhaps
// led by "+"), or a null date.
QDate parseExpireDate(QStringView text);

// The date as EXPIRE holds it; empty for a null date.
QString expireDateText(const QDate &date);

// --- The reminder settings file, INI text (reminderini.cpp)

// One logical line of INI text: its first byte, its length and where its
// first "=" outside quotes is (or -1).
struct IniLine {
    int start = 0;
    int length = 0;
    int equalsPos = -1;
    // The text ended inside quotes that this line opened.
    bool openQuote = false;
};
// The next logical line from `pos` on, skipping blanks and comment lines;
// false at the end. Moves `pos` past the line.
bool nextIniLine(const QByteArray &data, int &pos, IniLine &line);

struct IniValue {
    enum Kind {
        Text,
        List, // comma-separated items
        Invalid, // "@Invalid()"
        Unsupported, // a serialised value ("@Variant(...)" and the like)
    };
    Kind kind = Text;
    QString text;
    QStringList items;
};

struct IniEntry {
    // "SECTION/KEY", or KEY alone at the top level (before any section or in
    // a [General] section).
    QString key;
    IniValue value;
    // The bytes of its logical line.
    int start = 0;
    int length = 0;
    // The section header it follows (an index into the headers), -1 before any.
    int sectionIndex = -1;
};

struct IniSectionHeader {
    int start = 0;
    // Past the end of the header's physical line.
    int end = 0;
    bool topLevel = false;
};

struct IniDocument {
    // False for a line that is neither a section, a key with "=" nor a
    // comment, and for a section header without "]".
    bool wellFormed = true;
    // Where the first such line starts, or -1.
    int malformedAt = -1;
    // The last line's quotes are still open at the end of the text: anything
    // added at the end would belong to its value.
    bool endsInQuotes = false;
    QList<IniEntry> entries;
    QList<IniSectionHeader> headers;
};
IniDocument parseIniDocument(const QByteArray &data);

// The entry whose value counts for a top-level key: the last definition, as
// in every INI reader; -1 when the key is not defined at the top level.
int countedEntry(const IniDocument &document, const QString &key);

// A switch as the settings file has always been read: false when the key is
// absent (no value), when its text is empty, "0" or "false" in any case, for
// a list and for "@Invalid()"; true for any other text; nothing for a
// serialised value, which the programs cannot read.
std::optional<bool> reminderFlag(const IniValue *value);

// The three reminder settings in a settings file's text, or the error that
// names the key that could not be read.
struct ReminderSettings {
    std::optional<Error> error;
    bool receiveNotifyForLocal = false;
    bool receiveNotifyForDomain = false;
    qint32 notifyDays = 14;
};
ReminderSettings reminderSettingsFromText(const QByteArray &data);

// The text with the top-level definitions of the given keys replaced (KEY=value),
// repeated top-level definitions commented out with ";" and missing keys added
// after the last top-level definition (or a [General] section of their own);
// every other byte as it was. Nothing when the text is not well-formed, or
// when keys would have to be added at its end inside another value's quotes.
std::optional<QByteArray> rewrittenIni(const QByteArray &data, const ParamMap &values);

// --- Reading and replacing the policy files (policyfile.cpp)

// Policy files are small; a larger one is refused rather than read.
constexpr qint64 policyFileSizeLimit = 1024 * 1024;

enum class Links {
    Follow,
    Refuse,
};

struct PolicyFile {
    enum Status {
        Read,
        Absent,
        Failed,
    };
    Status status = Failed;
    QByteArray content;
    // Why it could not be read: the system's error text, or ours for a file
    // that is refused (a symbolic link where links are refused, a directory,
    // anything but a regular file, a file over the size limit).
    QString reason;
    bool refused = false;
    uint ownerId = 0;
    uint groupId = 0;
    uint mode = 0; // permission bits
};

// Reads a policy file whole. Never blocks: a FIFO or device is refused
// without reading from it. With Links::Refuse a symbolic link at the path or
// in place of its directory is refused too.
PolicyFile readPolicyFile(const QString &path, Links links);

struct ReplaceFailure {
    // True when the new file could not be created beside the target (the
    // target is untouched); false when it could not be written, given its
    // owner and mode, or put in place.
    bool creating = false;
    QString reason;
};

// Replaces the file at `path` by a new file with the content, owner, group
// and permission bits given, atomically (a new file beside it, flushed to the
// disk, renamed over it, the directory synced), without following a symbolic
// link at the path or in place of its directory. With `createDirectory` a
// missing directory is created (mode 0755). On failure the target is as it
// was and no new file is left behind.
std::optional<ReplaceFailure> replacePolicyFile(const QString &path, const QByteArray &content, uint ownerId, uint groupId, uint mode, bool createDirectory);

// Removes a regular file (not following a link) and syncs its directory; with
// `directoryToo` also the directory when it is then empty.
std::optional<QString> removePolicyFile(const QString &path, bool directoryToo);

// --- The reader and the writer on files of the caller's choice

Result<ParamMap> readParamsFromConf(const QString &path, const QSet<QString> &keys, SeparatorPredicate isSeparator);
Result<int> readIntParam(const ParamMap &params, const QString &key, int minimum);
// EXPIRE of the account map: the null date when absent or empty.
Result<QDate> readExpireDate(const ParamMap &params);

// The whole of loadConf's work, on files of the caller's choice.
Result<Config> loadConfFrom(const QString &loginDefs, const QString &useraddDefaults, const QString &settingsFile);

// Rewrites the definitions of the given keys in one system file in place and
// replaces the file atomically. Null on success, otherwise an Error.
QVariant writeParamsToConf(const QString &path, const ParamMap &params, SeparatorPredicate isSeparator, QChar separator);

// The whole of writeAllParamsToConf's work, on files of the caller's choice.
QVariant writeAllParamsTo(const QString &loginDefs, const QString &useraddDefaults, const QString &settingsFile, const Config &config);

} // namespace PasswordExpirationPolicy
