#include "data/SongTitles.h"

#include "base/FileNames.h"

QString SongTitle(const QString &tagTitle, const QString &fileName)
{
    if (!tagTitle.trimmed().isEmpty())
        return tagTitle;
    QString name = fileName;
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0)
        name = name.mid(slash + 1);
    // Only the last extension goes; a name that is all extension (".mp3") stays whole.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        name.truncate(dot);
    return ReadableFileName(name);
}
