#include "base/AtomicFile.h"

#include "base/Errors.h"
#include "base/FileNames.h"

#include <QFileInfo>

#ifdef Q_OS_WIN
#include <QSaveFile>
#else
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace
{

[[noreturn]] void Fail(const QString &reason, int code = 0)
{
    throw EInOutError(reason, code);
}

#ifndef Q_OS_WIN
bool WriteAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// The name a write replaces or creates: links followed to where they point, also when that
// does not exist yet, so the link itself stays.
QByteArray ReplacedName(const QString &fileName)
{
    QByteArray name = FileNameToBytes(fileName);
    if (name.contains('\0'))
        Fail(FileErrorText(EINVAL), EINVAL);
    for (int hops = 0;; ++hops) {
        char buffer[PATH_MAX];
        const ssize_t length = ::readlink(name.constData(), buffer, sizeof buffer);
        if (length < 0)
            return name;
        if (hops == 40 || length == ssize_t(sizeof buffer))
            Fail(FileErrorText(hops == 40 ? ELOOP : ENAMETOOLONG),
                 hops == 40 ? ELOOP : ENAMETOOLONG);
        QByteArray target(buffer, length);
        if (!target.startsWith('/'))
            target.prepend(name.left(name.lastIndexOf('/') + 1));
        name = target;
    }
}

// A hidden name beside the file's own that stays within the 255 bytes a name may have.
QByteArray TemporaryName(const QByteArray &baseName)
{
    constexpr qsizetype Kept = 255 - 15; // ".", ".", 8 digits, ".part"
    qsizetype keep = std::min(baseName.size(), Kept);
    while (keep > 0 && keep < baseName.size() && (uchar(baseName[keep]) & 0xC0) == 0x80)
        --keep; // not inside a UTF-8 character
    return '.' + baseName.left(keep) + '.' +
           QByteArray::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, '0') +
           ".part";
}
#endif

} // namespace

#ifdef Q_OS_WIN

QString AtomicTargetName(const QString &fileName)
{
    return QFileInfo(fileName).absoluteFilePath();
}

void WriteFileAtomically(const QString &fileName, const QByteArray &bytes)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        Fail(file.errorString());
    if (file.write(bytes) != bytes.size() || !file.flush())
        Fail(file.errorString());
    if (!file.commit())
        Fail(file.errorString());
}

#else

QString AtomicTargetName(const QString &fileName)
{
    return QFileInfo(FileNameFromBytes(ReplacedName(fileName))).absoluteFilePath();
}

void WriteFileAtomically(const QString &fileName, const QByteArray &bytes)
{
    const QByteArray target = ReplacedName(fileName);
    const qsizetype cut = target.lastIndexOf('/') + 1;
    const QByteArray folder = cut > 0 ? target.left(cut) : QByteArray("./");

    struct stat old;
    const bool replacing = stat(target.constData(), &old) == 0;
    if (replacing && ::access(target.constData(), W_OK) != 0)
        Fail(FileErrorText(errno), errno);

    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = folder + TemporaryName(target.mid(cut));
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        Fail(FileErrorText(errno), errno);

    int error = 0;
    if (replacing && fchmod(fd, old.st_mode & 07777) != 0)
        error = errno;
    if (error == 0 && !WriteAll(fd, bytes))
        error = errno;
    // The bytes must be on the disk before the old file goes.
    if (error == 0 && fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), target.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        Fail(FileErrorText(error), error);
    }
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        ::close(dir);
    }
}

#endif
