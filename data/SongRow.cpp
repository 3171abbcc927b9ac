#include "data/SongRow.h"

#include "data/DataSet.h"

namespace
{

// A song row's columns in the one order they are written and bound in.
struct TSongColumn {
    const char *Column;
    const char *Parameter;
    TFieldType Type;
    QVariant (*Value)(const TSongRow &row);
};

const TSongColumn SongColumns[] = {
    {"Path", "path", TFieldType::Text,
     [](const TSongRow &r) -> QVariant { return SplitSongFile(r.File).Path; }},
    {"Filename", "filename", TFieldType::Text,
     [](const TSongRow &r) -> QVariant { return SplitSongFile(r.File).Filename; }},
    {"Duration", "duration", TFieldType::Integer,
     [](const TSongRow &r) -> QVariant { return r.Duration; }},
    // Every song is an MP3 file.
    {"FileType", "filetype", TFieldType::Integer, [](const TSongRow &) -> QVariant { return 1; }},
    {"ID3_Title", "id3title", TFieldType::Text,
     [](const TSongRow &r) -> QVariant { return r.Tags.Title; }},
    {"ID3_Artist", "id3artist", TFieldType::Text,
     [](const TSongRow &r) -> QVariant { return r.Tags.Artist; }},
    {"ID3_Genre", "id3genre", TFieldType::Integer,
     [](const TSongRow &r) -> QVariant { return r.Tags.Genre; }},
    {"ID3_Comment", "id3comment", TFieldType::Text,
     [](const TSongRow &r) -> QVariant { return r.Tags.Comment; }},
    {"ID3_Album", "id3album", TFieldType::Text,
     [](const TSongRow &r) -> QVariant { return r.Tags.Album; }},
    {"ID3_Year", "id3year", TFieldType::Integer,
     [](const TSongRow &r) -> QVariant { return r.Tags.Year; }},
    {"ID3_Track", "id3track", TFieldType::Integer,
     [](const TSongRow &r) -> QVariant { return r.Tags.Track; }},
    {"File_Size", "filesize", TFieldType::Integer,
     [](const TSongRow &r) -> QVariant { return r.Size; }},
    {"File_Modified", "filemodified", TFieldType::Integer,
     [](const TSongRow &r) -> QVariant { return r.Modified; }},
};

QStringList Names(const char *TSongColumn::*name)
{
    QStringList names;
    for (const TSongColumn &column : SongColumns)
        names << QLatin1String(column.*name);
    return names;
}

} // namespace

TSongPlace SplitSongFile(const QString &file)
{
    const qsizetype cut = file.lastIndexOf(QLatin1Char('/')) + 1;
    return {file.left(cut), file.mid(cut)};
}

QString JoinSongFile(const QString &path, const QString &filename)
{
    return path + filename;
}

QString SongFile(const TDataSet &songs)
{
    return JoinSongFile(songs.AsString(QStringLiteral("Path")),
                        songs.AsString(QStringLiteral("Filename")));
}

QString SongFile(const TDataSet &songs, int row)
{
    return JoinSongFile(songs.Value(row, songs.FieldIndex(QStringLiteral("Path"))).toString(),
                        songs.Value(row, songs.FieldIndex(QStringLiteral("Filename"))).toString());
}

const QStringList &SongRowColumns()
{
    static const QStringList columns = Names(&TSongColumn::Column);
    return columns;
}

const QStringList &SongRowParameters()
{
    static const QStringList parameters = Names(&TSongColumn::Parameter);
    return parameters;
}

QString InsertSongText()
{
    QStringList parameters;
    for (const QString &parameter : SongRowParameters())
        parameters << QLatin1Char(':') + parameter;
    return StatementText({QStringLiteral("INSERT INTO Playlist_DB(%1)")
                              .arg(SongRowColumns().join(QStringLiteral(", "))),
                          QStringLiteral("VALUES(%1)").arg(parameters.join(QStringLiteral(", ")))});
}

void BindSongRow(TStatement &statement, int first, const TSongRow &row)
{
    int index = first;
    for (const TSongColumn &column : SongColumns)
        statement.Bind(index++, column.Value(row), column.Type);
}
