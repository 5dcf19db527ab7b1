// SPDX-License-Identifier: GPL-2.0-or-later
// Reading and replacing the policy files, with the system calls themselves:
// nothing blocks on a FIFO, nothing is read without bound, no symbolic link
// leads a write elsewhere, and a file is replaced only by a complete new one
// that has reached the disk.
#include "policy_p.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <clocale>
#include <cstring>

#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PasswordExpirationPolicy
{

namespace
{
// The system's text for an error, in English whatever the process locale:
// library messages are never translated.
QString systemErrorText(int error)
{
    static const locale_t english = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return QString::fromUtf8(english ? strerror_l(error, english) : std::strerror(error));
}

QString sizeLimitText()
{
    return QStringLiteral("Larger than %1 bytes").arg(policyFileSizeLimit);
}

QString linkText()
{
    return QStringLiteral("Is a symbolic link");
}

// Closes a descriptor when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Q_DISABLE_COPY(Descriptor)
    int get() const
    {
        return m_fd;
    }
    // Closes now and reports the result, as a write may fail only here.
    int close()
    {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result;
    }

private:
    int m_fd;
};

struct Location {
    QByteArray directory;
    QByteArray name;
};

Location locationOf(const QString &path)
{
    const QFileInfo info(path);
    return {QFile::encodeName(info.path()), QFile::encodeName(info.fileName())};
}

// Opens the directory that holds a policy file, refusing a symbolic link in
// its place. errno is set on failure.
int openDirectory(const QByteArray &directory)
{
    return ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool writeAll(int fd, const QByteArray &content)
{
    const char *data = content.constData();
    qint64 left = content.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

QByteArray temporaryPrefix(const QByteArray &name)
{
    return '.' + name + ".pwexpiry-";
}

QByteArray temporaryName(const QByteArray &name)
{
    return temporaryPrefix(name) + QByteArray::number(QRandomGenerator::system()->generate64(), 36);
}

// New files of earlier saves that were killed before they renamed them: ours
// by name and owner, and older than any save in progress can be.
void removeStaleTemporaries(int directoryFd, const QByteArray &name)
{
    const int fd = ::openat(directoryFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    DIR *entries = ::fdopendir(fd);
    if (!entries) {
        ::close(fd);
        return;
    }
    const QByteArray prefix = temporaryPrefix(name);
    const time_t now = ::time(nullptr);
    while (const dirent *entry = ::readdir(entries)) {
        struct stat status;
        if (std::strncmp(entry->d_name, prefix.constData(), size_t(prefix.size())) == 0
            && ::fstatat(directoryFd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid()
            && now - status.st_mtime > 60) {
            ::unlinkat(directoryFd, entry->d_name, 0);
        }
    }
    ::closedir(entries);
}
} // namespace

PolicyFile readPolicyFile(const QString &path, Links links)
{
    PolicyFile file;
    const auto fail = [&file](const QString &reason, bool refused) {
        file.status = PolicyFile::Failed;
        file.reason = reason;
        file.refused = refused;
        return file;
    };

    int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = -1;
    if (links == Links::Refuse) {
        const Location location = locationOf(path);
        const Descriptor directory(openDirectory(location.directory));
        if (directory.get() < 0) {
            const int error = errno;
            if (error == ENOENT) {
                file.status = PolicyFile::Absent;
                file.reason = systemErrorText(error);
                return file;
            }
            if (error == ELOOP || error == ENOTDIR) {
                return fail(QStringLiteral("Its directory %1 is not a directory but a symbolic link or other file").arg(QFile::decodeName(location.directory)),
                            true);
            }
            return fail(systemErrorText(error), false);
        }
        fd = ::openat(directory.get(), location.name.constData(), flags | O_NOFOLLOW);
    } else {
        fd = ::open(QFile::encodeName(path).constData(), flags);
    }
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) {
            file.status = PolicyFile::Absent;
            file.reason = systemErrorText(error);
            return file;
        }
        if (error == ELOOP && links == Links::Refuse) {
            return fail(linkText(), true);
        }
        return fail(systemErrorText(error), false);
    }
    const Descriptor descriptor(fd);

    struct stat status;
    if (::fstat(fd, &status) != 0) {
        return fail(systemErrorText(errno), false);
    }
    if (S_ISDIR(status.st_mode)) {
        return fail(systemErrorText(EISDIR), true);
    }
    if (!S_ISREG(status.st_mode)) {
        return fail(QStringLiteral("Not a regular file"), true);
    }
    if (status.st_size > policyFileSizeLimit) {
        return fail(sizeLimitText(), true);
    }
    file.ownerId = status.st_uid;
    file.groupId = status.st_gid;
    file.mode = status.st_mode & 07777;

    // Read to the end, but no further than the limit: the file may grow.
    QByteArray content(int(status.st_size) + 1, Qt::Uninitialized);
    qint64 used = 0;
    for (;;) {
        if (used == content.size()) {
            if (used > policyFileSizeLimit) {
                return fail(sizeLimitText(), true);
            }
            content.resize(int(qMin<qint64>(content.size() * 2 + 4096, policyFileSizeLimit + 1)));
        }
        const ssize_t got = ::read(fd, content.data() + used, size_t(content.size() - used));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(systemErrorText(errno), false);
        }
        if (got == 0) {
            break;
        }
        used += got;
    }
    if (used > policyFileSizeLimit) {
        return fail(sizeLimitText(), true);
    }
    content.truncate(int(used));
    file.content = content;
    file.status = PolicyFile::Read;
    return file;
}

std::optional<ReplaceFailure> replacePolicyFile(const QString &path, const QByteArray &content, uint ownerId, uint groupId, uint mode, bool createDirectory)
{
    const Location location = locationOf(path);
    const auto creating = [](const QString &reason) {
        return ReplaceFailure{true, reason};
    };

    int directoryFd = openDirectory(location.directory);
    if (directoryFd < 0 && errno == ENOENT && createDirectory) {
        if (::mkdir(location.directory.constData(), 0755) != 0 && errno != EEXIST) {
            return creating(systemErrorText(errno));
        }
        directoryFd = openDirectory(location.directory);
    }
    if (directoryFd < 0) {
        const int error = errno;
        if (error == ELOOP || error == ENOTDIR) {
            return creating(QStringLiteral("Its directory %1 is not a directory but a symbolic link or other file").arg(QFile::decodeName(location.directory)));
        }
        return creating(systemErrorText(error));
    }
    const Descriptor directory(directoryFd);

    // A path that is a symbolic link, a directory or anything but a regular
    // file is never replaced: rename would put a file in its place.
    struct stat target;
    if (::fstatat(directory.get(), location.name.constData(), &target, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(target.st_mode)) {
            return creating(linkText());
        }
        if (!S_ISREG(target.st_mode)) {
            return creating(S_ISDIR(target.st_mode) ? systemErrorText(EISDIR) : QStringLiteral("Not a regular file"));
        }
    } else if (errno != ENOENT) {
        return creating(systemErrorText(errno));
    }

    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 10 && fd < 0; ++attempt) {
        temporary = temporaryName(location.name);
        fd = ::openat(directory.get(), temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        return creating(systemErrorText(errno));
    }
    Descriptor file(fd);

    const auto failWith = [&](int error) {
        file.close();
        ::unlinkat(directory.get(), temporary.constData(), 0);
        return ReplaceFailure{false, systemErrorText(error)};
    };

    // The owner first: changing it clears the set-id bits that the mode may
    // carry.
    struct stat created;
    if (::fstat(fd, &created) != 0) {
        return failWith(errno);
    }
    if ((created.st_uid != ownerId || created.st_gid != groupId) && ::fchown(fd, ownerId, groupId) != 0) {
        return failWith(errno);
    }
    if (::fchmod(fd, mode & 07777) != 0) {
        return failWith(errno);
    }
    if (!writeAll(fd, content)) {
        return failWith(errno);
    }
    if (::fsync(fd) != 0) {
        return failWith(errno);
    }
    if (file.close() != 0) {
        const int error = errno;
        ::unlinkat(directory.get(), temporary.constData(), 0);
        return ReplaceFailure{false, systemErrorText(error)};
    }
    if (::renameat(directory.get(), temporary.constData(), directory.get(), location.name.constData()) != 0) {
        const int error = errno;
        ::unlinkat(directory.get(), temporary.constData(), 0);
        return ReplaceFailure{false, systemErrorText(error)};
    }
    removeStaleTemporaries(directory.get(), location.name);
    // The new directory entry must reach the disk too.
    if (::fsync(directory.get()) != 0) {
        return ReplaceFailure{false, systemErrorText(errno)};
    }
    return std::nullopt;
}

std::optional<QString> removePolicyFile(const QString &path, bool directoryToo)
{
    const Location location = locationOf(path);
    const Descriptor directory(openDirectory(location.directory));
    if (directory.get() < 0) {
        return systemErrorText(errno);
    }
    struct stat target;
    if (::fstatat(directory.get(), location.name.constData(), &target, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? std::nullopt : std::optional<QString>(systemErrorText(errno));
    }
    if (!S_ISREG(target.st_mode)) {
        return QStringLiteral("Not a regular file");
    }
    if (::unlinkat(directory.get(), location.name.constData(), 0) != 0 || ::fsync(directory.get()) != 0) {
        return systemErrorText(errno);
    }
    if (directoryToo) {
        // Only when nothing else is in it; an error here leaves it alone.
        ::rmdir(location.directory.constData());
    }
    return std::nullopt;
}

} // namespace PasswordExpirationPolicy
