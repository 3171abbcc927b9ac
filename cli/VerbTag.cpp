#include "cli/Verbs.h"
#include "data/UMP3s.h"

#include <map>

template <std::size_t N> static QString Escaped(const char (&field)[N])
{
    return EscapeField(QString::fromLatin1(FieldBytes(field, int(N))), true);
}

static int TagShow(const QString &fileName)
{
    TID3Tag tag;
    ReadID3Tag(fileName, tag);
    QString text;
    text += QStringLiteral("header=%1\n").arg(Escaped(tag.Header));
    text += QStringLiteral("title=%1\n").arg(Escaped(tag.Title));
    text += QStringLiteral("artist=%1\n").arg(Escaped(tag.Artist));
    text += QStringLiteral("album=%1\n").arg(Escaped(tag.Album));
    text += QStringLiteral("year=%1\n").arg(Escaped(tag.Year));
    text += QStringLiteral("comment=%1\n").arg(Escaped(tag.Comment));
    text += QStringLiteral("track=%1\n").arg(tag.Track);
    text += QStringLiteral("genre=%1\n").arg(tag.Genre);
    text += QStringLiteral("genre_name=%1\n").arg(GenreName(tag.Genre));
    Out(text);
    return 0;
}

// A number 0..255 for the track byte.
static unsigned char ByteOption(const QString &option, const QString &value)
{
    const int number = TagByteOfText(value);
    if (number < 0)
        throw TUsageError{
            QStringLiteral("%1: \"%2\" is not a number from 0 to 255").arg(option, value)};
    return static_cast<unsigned char>(number);
}

static unsigned char GenreOption(const QString &value)
{
    const int number = GenreOfText(value);
    if (number < 0)
        throw TUsageError{QStringLiteral("--genre: unknown genre \"%1\"").arg(value)};
    return static_cast<unsigned char>(number);
}

static void SetText(char *field, int width, const QString &option, const QString &value)
{
    switch (SetTagText(field, width, value)) {
    case TTagTextFit::Fits:
        return;
    case TTagTextFit::NotWindows1252:
        throw TUsageError{
            QStringLiteral("%1: \"%2\" has characters outside Windows-1252").arg(option, value)};
    case TTagTextFit::TooLong:
        break;
    }
    throw TUsageError{
        QStringLiteral("%1: \"%2\" is longer than %3 bytes").arg(option, value).arg(width)};
}

static int TagSet(const QString &fileName, const QStringList &options)
{
    TID3Tag tag;
    ReadID3Tag(fileName, tag);
    if (!HasID3Tag(tag)) {
        tag = NoTagRecord();
        CopyToField(tag.Header, QByteArrayLiteral("TAG"));
    }

    struct TTextField {
        char *Field;
        int Width;
    };
    const std::map<QString, TTextField> texts = {
        {QStringLiteral("--title"), {tag.Title, int(sizeof tag.Title)}},
        {QStringLiteral("--artist"), {tag.Artist, int(sizeof tag.Artist)}},
        {QStringLiteral("--album"), {tag.Album, int(sizeof tag.Album)}},
        {QStringLiteral("--year"), {tag.Year, int(sizeof tag.Year)}},
        {QStringLiteral("--comment"), {tag.Comment, int(sizeof tag.Comment)}},
    };
    // Every option is checked before the file is touched.
    for (int i = 0; i < options.size(); i += 2) {
        const QString &option = options.at(i);
        if (i + 1 >= options.size())
            throw TUsageError{QStringLiteral("tag set: %1 needs a value").arg(option)};
        const QString &value = options.at(i + 1);
        const auto text = texts.find(option);
        if (text != texts.end())
            SetText(text->second.Field, text->second.Width, option, value);
        else if (option == QLatin1String("--track"))
            tag.Track = ByteOption(option, value);
        else if (option == QLatin1String("--genre"))
            tag.Genre = GenreOption(value);
        else
            throw TUsageError{QStringLiteral("tag set: unknown option \"%1\"").arg(option)};
    }
    WriteID3Tag(fileName, tag);
    return 0;
}

int VerbTag(const TCliContext &context)
{
    const QStringList &args = context.Args;
    if (args.size() == 2 && args.at(0) == QLatin1String("show"))
        return TagShow(args.at(1));
    if (args.size() >= 2 && args.at(0) == QLatin1String("set"))
        return TagSet(args.at(1), args.mid(2));
    throw TUsageError{QStringLiteral("usage: tag show FILE | tag set FILE [--title T] [--artist A] "
                                     "[--album B] [--year Y] [--comment C] [--track N] "
                                     "[--genre N|NAME]")};
}
