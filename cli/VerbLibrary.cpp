#include "cli/Verbs.h"
#include "data/DataSet.h"
#include "data/Errors.h"

#include <QDir>

namespace
{
void OpenLibrary(TConnection &connection, const QString &file)
{
    connection.ConnectionString = QStringLiteral("Data Source=") + file;
    try {
        connection.Open();
    } catch (const EError &e) {
        throw TUsageError{e.Message()};
    }
}

void PrintTable(TDataSet &data)
{
    QStringList names;
    for (int f = 0; f < data.FieldCount(); ++f)
        names << EscapeField(data.Field(f).Name);
    Out(names.join(QLatin1Char('\t')) + QLatin1Char('\n'));
    for (int row = 0; row < data.RecordCount(); ++row) {
        QStringList values;
        for (int f = 0; f < data.FieldCount(); ++f) {
            const QVariant v = data.Value(row, f);
            values << EscapeField(
                v.metaType().id() == QMetaType::QDateTime
                    ? v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                    : v.toString());
        }
        Out(values.join(QLatin1Char('\t')) + QLatin1Char('\n'));
    }
}
} // namespace

int VerbInit(const TCliContext &context)
{
    if (context.Args.size() > 1)
        throw TUsageError{QStringLiteral("usage: init [FILE]")};
    const QString file = context.Args.isEmpty() ? context.LibraryFile : context.Args.first();
    CreateLibrary(file);
    Out(QStringLiteral("created %1\n").arg(QDir::toNativeSeparators(file)));
    return 0;
}

int VerbPlaylists(const TCliContext &context)
{
    if (!context.Args.isEmpty())
        throw TUsageError{QStringLiteral("usage: playlists")};
    TConnection connection;
    OpenLibrary(connection, context.LibraryFile);
    TDataSet data(&connection);
    data.SetCommandText(QStringLiteral(
        "SELECT PlayList_ID, Name, Description, Date_Created FROM Playlists ORDER BY PlayList_ID"));
    data.Open();
    PrintTable(data);
    return 0;
}

int VerbSongs(const TCliContext &context)
{
    if (!context.Args.isEmpty())
        throw TUsageError{QStringLiteral("usage: songs")};
    TConnection connection;
    OpenLibrary(connection, context.LibraryFile);
    TDataSet data(&connection);
    data.SetCommandText(QStringLiteral("SELECT * FROM Playlist_DB ORDER BY Row_ID"));
    data.Open();
    PrintTable(data);
    return 0;
}
