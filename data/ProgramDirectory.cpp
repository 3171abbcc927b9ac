#include "data/ProgramDirectory.h"

#include <QCoreApplication>
#include <QDir>

namespace
{
QString &Override()
{
    static QString directory;
    return directory;
}
} // namespace

QString GetProgramDirectory()
{
    if (!Override().isEmpty())
        return Override();
    QString path = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    const QChar separator = QDir::separator();
    while (!path.isEmpty() && path.back() != separator)
        path.chop(1);
    return path;
}

void SetProgramDirectoryOverride(const QString &directory)
{
    QString dir = QDir::toNativeSeparators(directory);
    if (!dir.isEmpty() && !dir.endsWith(QDir::separator()))
        dir += QDir::separator();
    Override() = dir;
}

QString DefaultLibraryFile()
{
    return GetProgramDirectory() + QStringLiteral("quillmeredb.mdb");
}
