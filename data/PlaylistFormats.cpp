// Writing playlist files in the formats that other players read.
#include "data/PlaylistFormats.h"

#include "base/FileNames.h"
#include "data/PlaylistNames.h"

#include <QXmlStreamWriter>

using namespace PlaylistNames;

namespace
{

void AddLine(QByteArray &text, const QByteArray &line)
{
    text += line;
    text += "\r\n";
}

bool CarriedOnOneLine(const QString &name)
{
    return !name.contains(QLatin1Char('\r')) && !name.contains(QLatin1Char('\n'));
}

// A text without control characters and without what XML cannot hold.
QString CleanText(const QString &text)
{
    QString clean;
    clean.reserve(text.size());
    for (const char32_t code : text.toUcs4()) {
        if (QChar::category(code) == QChar::Other_Control || code == 0xFFFE || code == 0xFFFF ||
            (code >= 0xD800 && code <= 0xDFFF))
            continue;
        clean += QString::fromUcs4(&code, 1);
    }
    return clean;
}

QString NotInLibraryLine(int entry)
{
    return QStringLiteral("entry %1: its song is no longer in the library").arg(entry);
}

} // namespace

TPlaylistText M3uText(const QList<TPlaylistItem> &items, bool utf8, const QString &relativeTo)
{
    TPlaylistText result;
    AddLine(result.Text, "#EXTM3U");
    int entry = 0;
    for (const TPlaylistItem &item : items) {
        ++entry;
        if (item.File.isEmpty()) {
            result.LeftOut << NotInLibraryLine(entry);
            continue;
        }
        if (item.File.contains(QChar(0))) {
            result.LeftOut << LeftOutLine(item.File);
            continue;
        }
        const QString name = WrittenName(item.File, relativeTo);
        QByteArray line;
        if (!utf8) {
            line = PlaylistPathBytes(name);
            if (line.isEmpty()) {
                result.LeftOut << LeftOutLine(item.File);
                continue;
            }
        } else if (HasStrayBytes(name) || !CarriedOnOneLine(name)) {
            // Not UTF-8 text or not one line: a URI carries every byte.
            line = FileUri(item.File);
        } else {
            line = name.toUtf8();
        }
        const QString title =
            item.Artist.isEmpty() ? item.Title : item.Artist + QStringLiteral(" - ") + item.Title;
        const QByteArray length = item.Length.isEmpty() ? QByteArray("-1") : item.Length.toUtf8();
        AddLine(result.Text, "#EXTINF:" + length + ',' +
                                 (utf8 ? CleanText(title).toUtf8() : PlaylistTitleBytes(title)));
        AddLine(result.Text, line);
    }
    return result;
}

TPlaylistText XspfText(const QList<TPlaylistItem> &items, const QString &title,
                       const QString &relativeTo)
{
    TPlaylistText result;
    QXmlStreamWriter xml(&result.Text);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(XspfNamespace);
    xml.writeStartElement(XspfNamespace, QStringLiteral("playlist"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1"));
    if (!CleanText(title).isEmpty())
        xml.writeTextElement(XspfNamespace, QStringLiteral("title"), CleanText(title));
    xml.writeStartElement(XspfNamespace, QStringLiteral("trackList"));
    int entry = 0;
    for (const TPlaylistItem &item : items) {
        ++entry;
        if (item.File.isEmpty()) {
            result.LeftOut << NotInLibraryLine(entry);
            continue;
        }
        if (item.File.contains(QChar(0))) {
            result.LeftOut << LeftOutLine(item.File);
            continue;
        }
        const QByteArray location = relativeTo.isEmpty()
                                        ? FileUri(item.File)
                                        : PercentEncodedName(RelativeName(item.File, relativeTo));
        xml.writeStartElement(XspfNamespace, QStringLiteral("track"));
        xml.writeTextElement(XspfNamespace, QStringLiteral("location"),
                             QString::fromLatin1(location));
        if (!CleanText(item.Title).isEmpty())
            xml.writeTextElement(XspfNamespace, QStringLiteral("title"), CleanText(item.Title));
        if (!CleanText(item.Artist).isEmpty())
            xml.writeTextElement(XspfNamespace, QStringLiteral("creator"), CleanText(item.Artist));
        bool ok = false;
        const qint64 seconds = item.Length.toLongLong(&ok);
        if (ok && seconds >= 0)
            xml.writeTextElement(XspfNamespace, QStringLiteral("duration"),
                                 QString::number(seconds * 1000));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return result;
}

TPlaylistText PlaylistText(TPlaylistFormat format, const QList<TPlaylistItem> &items,
                           const QString &title, const QString &relativeTo)
{
    switch (format) {
    case TPlaylistFormat::M3u:
        return M3uText(items, false, relativeTo);
    case TPlaylistFormat::M3u8:
        return M3uText(items, true, relativeTo);
    case TPlaylistFormat::Xspf:
        return XspfText(items, title, relativeTo);
    case TPlaylistFormat::Pls:
        break;
    }
    if (relativeTo.isEmpty())
        return PlsText(items);
    QList<TPlaylistItem> relative = items;
    for (TPlaylistItem &item : relative) {
        if (!item.File.isEmpty())
            item.File = WrittenName(item.File, relativeTo);
    }
    return PlsText(relative);
}

QStringList SavePlaylistAs(const QList<TPlaylistItem> &items, const QString &fileName,
                           TPlaylistFormat format, const QString &title, bool relative,
                           const QString &protectedFile)
{
    CheckPlaylistTarget(fileName, protectedFile);
    const QString folder = relative ? FolderOfTarget(fileName) : QString();
    const TPlaylistText text = PlaylistText(format, items, title, folder);
    WriteFileSafely(fileName, text.Text);
    return text.LeftOut;
}
