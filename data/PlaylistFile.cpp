#include "data/PlaylistFile.h"

#include "data/DataSet.h"
#include "data/Errors.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace
{
void AddLine(QByteArray &text, const QString &line)
{
    // Tag texts hold one byte per character, so Latin-1 gives their bytes back.
    text += line.toLatin1();
    text += "\r\n";
}

[[noreturn]] void Fail(const QString &fileName, const QString &reason)
{
    throw EInOutError(QStringLiteral("Cannot write the playlist file \"%1\": %2")
                          .arg(QDir::toNativeSeparators(fileName), reason));
}
} // namespace

QByteArray PlaylistFileText(TDataSet &entries)
{
    QByteArray text;
    AddLine(text, QStringLiteral("[playlist]"));
    if (!entries.Active())
        return text;
    entries.First();
    for (int n = 1; !entries.Eof(); ++n) {
        const QString number = QString::number(n);
        AddLine(text, QStringLiteral("File") + number + QLatin1Char('=') +
                          entries.AsString(QStringLiteral("Path")) +
                          entries.AsString(QStringLiteral("FileName")));
        AddLine(text, QStringLiteral("Length") + number + QLatin1Char('=') +
                          entries.AsString(QStringLiteral("Duration")));
        AddLine(text, QStringLiteral("Title") + number + QLatin1Char('=') +
                          entries.AsString(QStringLiteral("ID3_Title")));
        entries.Next();
    }
    return text;
}

void SavePlaylistFile(TDataSet &entries, const QString &fileName)
{
    const QByteArray text = PlaylistFileText(entries);
    // A read-only file is refused, as rewriting it in place would be.
    const QFileInfo existing(fileName);
    if (existing.exists() && existing.isFile() && !existing.isWritable())
        Fail(fileName, QStringLiteral("Access denied"));
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        Fail(fileName, file.errorString());
    if (file.write(text) != text.size())
        Fail(fileName, file.errorString());
    if (!file.commit())
        Fail(fileName, file.errorString());
}
