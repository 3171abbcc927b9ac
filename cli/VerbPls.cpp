#include "base/Errors.h"
#include "base/FileNames.h"
#include "cli/Verbs.h"
#include "data/DataSet.h"
#include "data/PlaylistEntries.h"
#include "data/PlaylistFile.h"
#include "data/Playlists.h"
#include "data/Table.h"

#include <QDir>

int VerbPls(const TCliContext &context)
{
    if (context.Args.size() != 2)
        throw TUsageError{QStringLiteral("usage: pls PLAYLIST_ID FILE")};
    bool ok = false;
    const int id = context.Args.at(0).toInt(&ok);
    if (!ok || id < 0)
        throw TUsageError{
            QStringLiteral("pls: \"%1\" is not a playlist id").arg(context.Args.at(0))};
    const QString fileName = context.Args.at(1);

    TConnection connection;
    OpenLibrary(connection, context.LibraryFile);

    if (!PlaylistExists(connection, id))
        throw EDatabaseError(QStringLiteral("There is no playlist %1.").arg(id));

    // The entries as the main window opens them, so the file lists them in its order.
    TTable songs(&connection);
    SetUpSongsTable(songs);
    songs.Open();
    TDataSet entries(&connection);
    SetUpPlaylistEntries(entries, &songs);
    OpenPlaylistEntries(entries, id, QStringLiteral("Sequence"), QStringLiteral("Asc"));
    const QStringList leftOut = SavePlaylistFile(entries, fileName, connection.LibraryAddress());
    Out(QStringLiteral("wrote %1 (%2 entries)\n")
            .arg(EscapeField(QDir::toNativeSeparators(ReadableFileName(fileName)), false))
            .arg(entries.RecordCount() - leftOut.size()));
    if (leftOut.isEmpty())
        return 0;
    Err(LeftOutReport(fileName, leftOut) + QLatin1Char('\n'));
    return 1;
}
