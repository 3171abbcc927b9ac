#include "base/Errors.h"
#include "cli/Verbs.h"
#include "data/DataSet.h"
#include "data/Playlists.h"
#include "data/SelectionSql.h"
#include "data/SongListings.h"
#include "data/UMP3s.h"

#include <QDir>

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

namespace
{

const char *const SongsUsage =
    "usage: songs [--artist TEXT]... [--album TEXT]... [--genre NUMBER|NAME]... "
    "[--comment TEXT] [--year-from YEAR] [--year-to YEAR] "
    "[--sort Album|Artist|Comment|Genre|Title|Year] [--search WORDS] [--sql]";

struct TSongFilters {
    TSelectionCriteria Criteria;
    bool Any = false; // a filter or a sort was given
    bool PrintSql = false;
    QString Search; // words each song must hold
};

// "17", "17. Rock" or a genre's name (case ignored), as an entry of the dialog's genre list.
QString GenreEntry(const QString &text)
{
    const QString number = GenreNumber(text);
    if (!number.isEmpty()) {
        bool ok = false;
        const int value = number.toInt(&ok);
        if (ok && value >= 0 && value <= 255)
            return text;
    }
    const int named = GenreByName(text);
    if (named >= 0)
        return QString::number(named) + QStringLiteral(". ") + GenreName(named);
    throw TUsageError{QStringLiteral("unknown genre \"%1\"").arg(text)};
}

QString YearValue(const QString &text)
{
    if (text.isEmpty() || YearDigits(text) != text)
        throw TUsageError{QStringLiteral("a year is one to four digits: \"%1\"").arg(text)};
    return text;
}

QString SortValue(const QString &text)
{
    for (const char *name : {"Album", "Artist", "Comment", "Genre", "Title", "Year"}) {
        if (text.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return QLatin1String(name);
    }
    throw TUsageError{QStringLiteral("unknown sort \"%1\"").arg(text)};
}

// The dialog's criteria from the command line: lists repeat, single values may not.
TSongFilters ParseSongFilters(const QStringList &args)
{
    TSongFilters filters;
    QStringList seen;
    for (int i = 0; i < args.size(); ++i) {
        const QString &option = args.at(i);
        if (option == QLatin1String("--sql")) {
            filters.PrintSql = true;
            continue;
        }
        if (i + 1 >= args.size())
            throw TUsageError{QString::fromLatin1(SongsUsage)};
        const QString value = args.at(++i);
        TSelectionCriteria &c = filters.Criteria;
        const bool single = option != QLatin1String("--artist") &&
                            option != QLatin1String("--album") &&
                            option != QLatin1String("--genre");
        if (single && seen.contains(option))
            throw TUsageError{QStringLiteral("%1 given twice").arg(option)};
        seen << option;
        if (option == QLatin1String("--artist"))
            c.Artists << value;
        else if (option == QLatin1String("--album"))
            c.Albums << value;
        else if (option == QLatin1String("--genre"))
            c.Genres << GenreEntry(value);
        else if (option == QLatin1String("--comment"))
            c.Comment = value;
        else if (option == QLatin1String("--year-from"))
            c.StartYear = YearValue(value);
        else if (option == QLatin1String("--year-to"))
            c.EndYear = YearValue(value);
        else if (option == QLatin1String("--sort"))
            c.Sort = SortValue(value);
        else if (option == QLatin1String("--search"))
            filters.Search = value;
        else
            throw TUsageError{QString::fromLatin1(SongsUsage)};
        filters.Any = true;
    }
    return filters;
}
} // namespace

int VerbInit(const TCliContext &context)
{
    if (context.Args.size() > 1)
        throw TUsageError{QStringLiteral("usage: init [FILE]")};
    const QString file = context.Args.isEmpty() ? context.LibraryFile : context.Args.first();
    if (context.Args.isEmpty())
        MakeDefaultLibraryFolder();
    CreateLibrary(file);
    Out(QStringLiteral("created %1\n").arg(TerminalSafe(QDir::toNativeSeparators(file))));
    return 0;
}

int VerbPlaylists(const TCliContext &context)
{
    if (!context.Args.isEmpty())
        throw TUsageError{QStringLiteral("usage: playlists")};
    TConnection connection;
    OpenLibrary(connection, context.LibraryFile);
    TDataSet data(&connection);
    OpenPlaylistsById(data);
    PrintTable(data);
    return 0;
}

int VerbSongs(const TCliContext &context)
{
    TSongFilters filters = ParseSongFilters(context.Args);
    const QString sql = BuildSelectionSql(filters.Criteria);
    if (filters.PrintSql) {
        // One piece a line; the pieces end in a bare CR.
        Out(TerminalSafe(QString(sql).replace(QLatin1Char('\r'), QLatin1Char('\n'))));
        return 0;
    }
    TConnection connection;
    OpenLibrary(connection, context.LibraryFile);
    TDataSet data(&connection);
    if (!SearchWords(filters.Search).isEmpty()) {
        TSongListing listing;
        listing.Criteria = filters.Criteria;
        listing.Search = filters.Search;
        OpenSongListing(data, listing);
    } else if (filters.Any)
        OpenSelection(data, filters.Criteria);
    else
        OpenSongsByRowId(data);
    PrintTable(data);
    return 0;
}
