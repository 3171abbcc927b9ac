#include "import/ImportWalker.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/Database.h"
#include "data/ID3v2Tags.h"
#include "platform/Mp3Decoder.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace
{

bool HasMp3Extension(const char *name)
{
    const size_t length = std::strlen(name);
    return length >= 4 && strncasecmp(name + length - 4, ".mp3", 4) == 0;
}

void SortWithoutCase(QStringList &names)
{
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
}

class TDirCloser
{
public:
    explicit TDirCloser(DIR *dir) : m_dir(dir) {}
    ~TDirCloser() { closedir(m_dir); }
    TDirCloser(const TDirCloser &) = delete;
    TDirCloser &operator=(const TDirCloser &) = delete;

private:
    DIR *m_dir;
};

// The reason without the file's name, when the message begins with it.
QString ReasonFor(const QString &fileName, const QString &message)
{
    const QString named = QStringLiteral("Cannot open \"%1\": ").arg(ReadableFileName(fileName));
    if (!message.startsWith(named))
        return message.section(QLatin1Char('\n'), 0, 0);
    QString reason = message.mid(named.size());
    if (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    return reason;
}

[[noreturn]] void FolderFailed(const QString &folder, int error)
{
    throw EInOutError(QStringLiteral("Cannot read folder \"%1\". %2")
                          .arg(ReadableFileName(folder), qt_error_string(error)),
                      error);
}

} // namespace

TFolderListing ListFolder(const QString &Folder)
{
    TFolderListing listing;
    const QByteArray path = FileNameToBytes(Folder);
    DIR *dir = opendir(path.constData());
    if (!dir)
        FolderFailed(Folder, errno);
    TDirCloser closer(dir);
    struct stat own;
    if (fstat(dirfd(dir), &own) != 0)
        FolderFailed(Folder, errno);
    listing.Id = {quint64(own.st_dev), quint64(own.st_ino)};

    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir);
        if (!entry) {
            if (errno != 0)
                FolderFailed(Folder, errno);
            break;
        }
        const char *name = entry->d_name;
        if (name[0] == '.') // hidden, and "." and ".."
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat target;
            if (fstatat(dirfd(dir), name, &target, 0) != 0)
                continue; // a broken link is neither file nor folder
            type = S_ISDIR(target.st_mode)   ? DT_DIR
                   : S_ISREG(target.st_mode) ? DT_REG
                                             : DT_FIFO; // any other kind: not to be read
        }
        if (type == DT_DIR)
            listing.Folders << FileNameFromBytes(name);
        else if (type == DT_REG && HasMp3Extension(name))
            listing.Files << FileNameFromBytes(name);
        else if (type != DT_LNK && type != DT_UNKNOWN && HasMp3Extension(name))
            ++listing.NotFiles; // reading a FIFO or a device could wait forever
    }
    SortWithoutCase(listing.Files);
    SortWithoutCase(listing.Folders);
    return listing;
}

QString ImportFileName(const QString &Folder, const QString &Name)
{
    return Folder + QLatin1Char('/') + Name;
}

QString ImportSubfolder(const QString &Folder, const QString &Name)
{
    return Folder.endsWith(QLatin1Char('/')) ? Folder + Name : Folder + QLatin1Char('/') + Name;
}

QString ImportProblemText(const TImportProblem &Problem, const QString &Name, const QString &Reason)
{
    QString text;
    switch (Problem.Kind) {
    case TImportProblemKind::ExistsCheckFailed:
        text = QStringLiteral("cannot check \"%1\", trying to insert it: %2");
        break;
    case TImportProblemKind::InsertFailed:
    case TImportProblemKind::FileRefused:
        text = QStringLiteral("cannot insert \"%1\": %2");
        break;
    case TImportProblemKind::RowLost:
        text = QStringLiteral("not stored \"%1\": %2");
        break;
    case TImportProblemKind::FileUnreadable:
        text = QStringLiteral("cannot read \"%1\": %2");
        break;
    case TImportProblemKind::FolderUnreadable:
        text = QStringLiteral("cannot read folder \"%1\": %2");
        break;
    }
    return text.arg(Name, Reason);
}

int GetSongLength(const QString &FileName)
{
    return int(MeasureLengthMs(FileName) / 1000);
}

TImportWalker::TImportWalker(TConnection &Connection) : m_writer(Connection) {}

void TImportWalker::ImportFolder(const QString &Folder)
{
    m_counts = {};
    m_visited.clear();
    m_stopped = false;
    m_writer.CheckWritable();
    try {
        Walk(Folder);
    } catch (...) {
        Commit();
        throw;
    }
    Commit();
}

void TImportWalker::ImportFiles(const QStringList &FileNames)
{
    m_writer.CheckWritable();
    try {
        for (const QString &name : FileNames) {
            ++m_counts.Found;
            ImportFile(name, std::nullopt);
        }
    } catch (...) {
        Commit();
        throw;
    }
    Commit();
}

void TImportWalker::Walk(const QString &Folder)
{
    TFolderListing listing;
    try {
        listing = ListFolder(Folder);
    } catch (const EError &e) {
        ++m_counts.FoldersUnreadable;
        Report(TImportProblemKind::FolderUnreadable, Folder, e.Message());
        return;
    }
    if (!m_visited.insert(listing.Id).second)
        return; // reached again through a link
    m_counts.Found += int(listing.Files.size());
    m_counts.NotFiles += listing.NotFiles;
    // The songs the folder already has, in one statement rather than one per file.
    std::optional<QSet<QString>> stored;
    if (!listing.Files.isEmpty()) {
        try {
            stored = m_writer.SongsIn(ImportFileName(Folder, QString()));
        } catch (const EError &) {
            // Each file is then looked up on its own, which reports the failure.
        }
    }
    for (const QString &name : std::as_const(listing.Files)) {
        if (OnFile)
            OnFile(name);
        ImportFile(ImportFileName(Folder, name),
                   stored ? std::optional<bool>(stored->contains(name)) : std::nullopt);
        ++m_counts.Done;
        if (!Continue())
            return;
    }
    for (const QString &name : std::as_const(listing.Folders)) {
        if (!Continue())
            return;
        Walk(ImportSubfolder(Folder, name));
        if (m_stopped)
            return;
    }
}

void TImportWalker::ImportFile(const QString &FileName, std::optional<bool> Stored)
{
    // A file the folder's listing holds is there. Any other is looked up on its own, inside
    // the open batch's write lock when there is one: another import may have added it since.
    bool exists = Stored.value_or(false);
    try {
        if (!exists)
            exists = m_writer.SongExists(FileName);
    } catch (const ELibraryUnwritable &) {
        ++m_counts.Failed;
        throw;
    } catch (const EError &e) {
        Commit(); // no write lock held while the problem is shown
        Report(TImportProblemKind::ExistsCheckFailed, FileName, e.Message());
    }
    if (exists) {
        ++m_counts.Existing;
        return;
    }
    TSongTags tags;
    try {
        tags = ReadSongTags(FileName);
    } catch (const EError &e) {
        ++m_counts.Failed;
        Report(TImportProblemKind::FileUnreadable, FileName, e.Message());
        return;
    }
    const QString refusal = WidthRefusal(FileName);
    int length = 0;
    if (refusal.isEmpty()) {
        try {
            length = GetSongLength(FileName);
        } catch (const EError &e) {
            ++m_counts.Failed;
            Report(TImportProblemKind::FileRefused, FileName, ReasonFor(FileName, e.Message()));
            return;
        }
    }
    try {
        if (!refusal.isEmpty())
            throw EDatabaseError(refusal);
        if (!m_writer.InsertSong(FileName, tags, length)) {
            ++m_counts.Existing;
            return;
        }
    } catch (const ELibraryUnwritable &) {
        ++m_counts.Failed;
        throw;
    } catch (const EError &e) {
        ++m_counts.Failed;
        // The rows before it are made durable before anyone hears of the failure.
        Commit();
        Report(TImportProblemKind::InsertFailed, FileName,
               e.Message().section(QLatin1Char('\n'), 0, 0));
        return;
    }
    ++m_counts.Imported;
}

void TImportWalker::Commit()
{
    QString reason = QStringLiteral("The library undid the row after a later error");
    std::optional<ELibraryUnwritable> stop;
    try {
        m_writer.Commit();
    } catch (const ELibraryUnwritable &e) {
        reason = QStringLiteral("the import stopped before it was stored");
        stop = e;
    } catch (const EError &e) {
        // The reason without the statement, which may list a whole batch.
        reason = e.Message().section(QLatin1Char('\n'), 0, 0);
    }
    for (int n = int(m_writer.TakeDuplicates().size()); n > 0; --n) {
        --m_counts.Imported;
        ++m_counts.Existing;
    }
    for (const auto &[name, refusal] : m_writer.TakeRefused()) {
        --m_counts.Imported;
        ++m_counts.Failed;
        Report(TImportProblemKind::InsertFailed, name, refusal);
    }
    for (const QString &name : m_writer.TakeLost()) {
        --m_counts.Imported;
        ++m_counts.Failed;
        Report(TImportProblemKind::RowLost, name, reason);
    }
    // The rows are told of first; then the walk stops.
    if (stop)
        throw *stop;
}

void TImportWalker::Report(TImportProblemKind Kind, const QString &Name, const QString &Reason)
{
    if (OnProblem)
        OnProblem({Kind, Name, Reason});
}

bool TImportWalker::Continue()
{
    if (m_writer.CommitDue())
        Commit();
    if (KeepGoing && !KeepGoing())
        m_stopped = true;
    return !m_stopped;
}
