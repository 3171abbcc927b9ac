#include "import/PlaylistImport.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/DataSet.h"
#include "data/PlaylistEntries.h"
#include "data/Playlists.h"
#include "data/SongRow.h"
#include "data/SongRows.h"
#include "data/Table.h"
#include "import/ImportWalker.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace
{

QString Shown(const QString &name)
{
    return ShortPiece(QDir::toNativeSeparators(ReadableFileName(name)));
}

} // namespace

std::optional<qint64> SongOfFile(TConnection &connection, TSongWriter &writer, const QString &file,
                                 QString &problem, bool &imported)
{
    imported = false;
    const TFileStatus status = FileStatus(file);
    if (!status.Exists) {
        problem = FileErrorText(status.Error);
        return std::nullopt;
    }
    if (!status.IsFile) {
        problem = status.IsFolder ? QStringLiteral("it is a folder")
                                  : QStringLiteral("it is not a regular file");
        return std::nullopt;
    }
    const auto [path, filename] = SplitSongFile(file);
    // Whether it is new is the import's own question, so both agree.
    if (!writer.SongExists(file)) {
        if (!filename.endsWith(QStringLiteral(".mp3"), Qt::CaseInsensitive)) {
            problem = QStringLiteral("not an MP3 file");
            return std::nullopt;
        }
        if (const QString refusal = WidthRefusal(file); !refusal.isEmpty()) {
            problem = refusal;
            return std::nullopt;
        }
        try {
            // A row the library refuses undoes only itself, on a server too.
            TTransaction unit(connection);
            // Another import may have added it meanwhile; it is then simply there.
            writer.InsertSong(file, ReadSongTags(file), GetSongLength(file));
            unit.Commit();
        } catch (const EError &e) {
            if (!connection.InTransaction())
                throw; // the library gave up the whole transaction
            problem = e.Message().section(QLatin1Char('\n'), 0, 0);
            return std::nullopt;
        }
        imported = true;
    }
    const std::optional<qint64> song = SongIdAt(connection, path, filename);
    if (!song)
        throw EDatabaseError(
            QStringLiteral("\"%1\" is in the library but cannot be found").arg(Shown(file)));
    return song;
}

TPlaylistImport ImportPlaylist(TConnection &connection, const TPlaylistRead &read,
                               const QString &name, const QString &description)
{
    TPlaylistImport result;
    TTransaction transaction(connection);
    result.PlaylistId = InsertPlaylist(connection, name, description, QDateTime::currentDateTime());

    TTable songs(&connection);
    SetUpSongsTable(songs);
    TDataSet entries(&connection);
    SetUpPlaylistEntries(entries, &songs);
    OpenPlaylistEntries(entries, int(result.PlaylistId), QStringLiteral("Sequence"),
                        QStringLiteral("Asc"));
    TSongWriter writer(connection);

    const auto leaveOut = [&](const QString &written, const QString &reason, int &count) {
        ++count;
        result.Problems << QStringLiteral("%1: %2").arg(Shown(written), reason);
    };
    for (const TPlaylistEntryRead &entry : read.Entries) {
        // A file named exactly as written wins over what the writer may have meant.
        const bool literal = !entry.Literal.isEmpty() && FileStatus(entry.Literal).Exists;
        if (!literal && !entry.Problem.isEmpty()) {
            leaveOut(entry.Written, entry.Problem, entry.Missing ? result.Missing : result.Skipped);
            continue;
        }
        const QString &file = literal ? entry.Literal : entry.File;
        QString problem;
        bool imported = false;
        const std::optional<qint64> song = SongOfFile(connection, writer, file, problem, imported);
        if (!song) {
            leaveOut(file, problem, result.Missing);
            continue;
        }
        if (imported)
            ++result.Imported;
        AppendEntry(entries, int(result.PlaylistId), entries.RecordCount() + 1, *song);
        ++result.Entries;
    }
    entries.UpdateBatch();
    transaction.Commit();
    return result;
}

TPlaylistImport ImportPlaylistFile(TConnection &connection, const QString &file)
{
    TPlaylistFormat format = TPlaylistFormat::Pls;
    PlaylistFormatOf(file, format);
    const TPlaylistRead read = ReadPlaylistFile(file, format);
    QString name = read.Title;
    if (name.isEmpty())
        name = ReadableFileName(QFileInfo(file).completeBaseName());
    name = name.left(PlaylistNameLength);
    TPlaylistImport result = ImportPlaylist(connection, read, name);
    result.Name = name;
    return result;
}
