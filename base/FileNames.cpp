#include "base/FileNames.h"

#include <QFile>
#include <cerrno>

#ifdef Q_OS_WIN
#include <QFileInfo>
#else
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace
{
constexpr char32_t EscapeBase = 0x10FF00; // + the byte, 0x80..0xFF

bool IsEscape(char32_t c)
{
    return c >= EscapeBase + 0x80 && c <= EscapeBase + 0xFF;
}

// Length of the valid UTF-8 sequence at i and its code point, or 0.
int ValidSequence(const QByteArray &b, qsizetype i, char32_t &code)
{
    const auto at = [&](qsizetype k) { return static_cast<unsigned char>(b[k]); };
    const unsigned char lead = at(i);
    int length;
    char32_t min;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > b.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((at(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (at(i + k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}
} // namespace

QString FileNameFromBytes(const QByteArray &Bytes)
{
#ifdef Q_OS_WIN
    return QFile::decodeName(Bytes);
#else
    QString name;
    name.reserve(Bytes.size());
    for (qsizetype i = 0; i < Bytes.size();) {
        const auto byte = static_cast<unsigned char>(Bytes[i]);
        if (byte < 0x80) {
            name += QChar(byte);
            ++i;
            continue;
        }
        char32_t code = 0;
        const int length = ValidSequence(Bytes, i, code);
        if (length > 0 && !IsEscape(code)) {
            name += QString::fromUcs4(&code, 1);
            i += length;
            continue;
        }
        // A stray byte, or every byte of a character that would read as an escape.
        const int count = length > 0 ? length : 1;
        for (int k = 0; k < count; ++k) {
            const char32_t escape = EscapeBase + static_cast<unsigned char>(Bytes[i + k]);
            name += QString::fromUcs4(&escape, 1);
        }
        i += count;
    }
    return name;
#endif
}

QByteArray FileNameToBytes(const QString &Name)
{
#ifdef Q_OS_WIN
    return QFile::encodeName(Name);
#else
    QByteArray bytes;
    bytes.reserve(Name.size());
    const QList<uint> codes = Name.toUcs4();
    for (const uint code : codes) {
        if (IsEscape(code))
            bytes += char(code - EscapeBase);
        else
            bytes += QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1).toUtf8();
    }
    return bytes;
#endif
}

QString ReadableFileName(const QString &Name)
{
    if (!HasStrayBytes(Name))
        return Name;
    QString readable;
    for (const uint code : Name.toUcs4())
        readable += IsEscape(code)
                        ? QString(QChar(0xFFFD))
                        : QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
    return readable;
}

QString FileErrorText(int Error)
{
    if (Error == NotRegularFile)
        return QStringLiteral("It is not a regular file");
    return qt_error_string(Error);
}

bool HasStrayBytes(const QString &Name)
{
    // Escapes are surrogate pairs whose high half is U+DBFF.
    for (qsizetype i = 0; i + 1 < Name.size(); ++i) {
        if (Name[i].unicode() == 0xDBFF && Name[i + 1].unicode() >= 0xDF80)
            return true;
    }
    return false;
}

#ifdef Q_OS_WIN

static bool OpenWithQt(QFile &file, const QString &name, QIODevice::OpenMode mode)
{
    file.setFileName(name);
    return file.open(mode);
}
bool OpenForReading(QFile &File, const QString &Name)
{
    return OpenWithQt(File, Name, QIODevice::ReadOnly | QIODevice::ExistingOnly);
}
bool OpenForUpdate(QFile &File, const QString &Name)
{
    return OpenWithQt(File, Name, QIODevice::ReadWrite | QIODevice::ExistingOnly);
}
bool CreateNewFile(QFile &File, const QString &Name)
{
    return OpenWithQt(File, Name, QIODevice::WriteOnly | QIODevice::NewOnly);
}
TFileStatus FileStatus(const QString &Name)
{
    const QFileInfo info(Name);
    TFileStatus status;
    status.Exists = info.exists();
    status.IsFile = info.isFile();
    status.IsFolder = info.isDir();
    status.IsLink = info.isSymLink();
    status.Size = info.size();
    status.ModifiedMs = info.lastModified().toMSecsSinceEpoch();
    status.Error = status.Exists ? 0 : ENOENT;
    return status;
}
bool RenameNoReplace(const QString &From, const QString &To)
{
    return QFile::rename(From, To);
}
bool RemoveFile(const QString &Name)
{
    return QFile::remove(Name);
}

#else

// A name's bytes for the system; false with ENOENT when a NUL inside would cut it short: no
// file has such a name, and the one named by the part before the NUL is never reached.
static bool SystemName(const QString &name, QByteArray &bytes)
{
    bytes = FileNameToBytes(name);
    if (!bytes.contains('\0'))
        return true;
    errno = ENOENT;
    return false;
}

// Opens regular files only. O_NONBLOCK keeps the open of a FIFO from waiting for a writer; it
// does nothing to the reads and writes of the regular file that gets through.
static bool OpenDescriptor(QFile &file, const QString &name, int flags, QIODevice::OpenMode mode)
{
    QByteArray bytes;
    if (!SystemName(name, bytes))
        return false;
    const int fd = ::open(bytes.constData(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return false;
    struct stat st;
    int error = fstat(fd, &st) != 0 ? errno : 0;
    if (error == 0 && !S_ISREG(st.st_mode))
        error = S_ISDIR(st.st_mode) ? EISDIR : NotRegularFile;
    if (error == 0 && !file.open(fd, mode, QFileDevice::AutoCloseHandle))
        error = EIO;
    if (error != 0) {
        ::close(fd);
        errno = error;
        return false;
    }
    return true;
}

bool OpenForReading(QFile &File, const QString &Name)
{
    return OpenDescriptor(File, Name, O_RDONLY, QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool OpenForUpdate(QFile &File, const QString &Name)
{
    return OpenDescriptor(File, Name, O_RDWR, QIODevice::ReadWrite | QIODevice::Unbuffered);
}

bool CreateNewFile(QFile &File, const QString &Name)
{
    return OpenDescriptor(File, Name, O_WRONLY | O_CREAT | O_EXCL, QIODevice::WriteOnly);
}

TFileStatus FileStatus(const QString &Name)
{
    TFileStatus status;
    QByteArray bytes;
    if (!SystemName(Name, bytes)) {
        status.Error = errno;
        return status;
    }
    struct stat st;
    // A link is followed with a second call; anything else is known from the first.
    bool found = lstat(bytes.constData(), &st) == 0;
    if (found && S_ISLNK(st.st_mode)) {
        status.IsLink = true;
        found = stat(bytes.constData(), &st) == 0;
    }
    if (!found) {
        status.Error = errno;
        return status;
    }
    status.Exists = true;
    status.IsFile = S_ISREG(st.st_mode);
    status.IsFolder = S_ISDIR(st.st_mode);
    status.Size = qint64(st.st_size);
    status.ModifiedMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    return status;
}

bool RenameNoReplace(const QString &From, const QString &To)
{
    QByteArray from, to;
    if (!SystemName(From, from) || !SystemName(To, to))
        return false;
#ifdef SYS_renameat2
    if (syscall(SYS_renameat2, AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), 1u) == 0)
        return true;
    if (errno != ENOSYS && errno != EINVAL)
        return false;
#endif
    // Without renameat2: a hard link never replaces either; then drop the old name.
    if (::link(from.constData(), to.constData()) != 0)
        return false;
    ::unlink(from.constData());
    return true;
}

bool RemoveFile(const QString &Name)
{
    QByteArray bytes;
    return SystemName(Name, bytes) && ::unlink(bytes.constData()) == 0;
}

#endif
