#pragma once

#include <QByteArray>
#include <QString>

// How playlist files name their songs, shared by the readers and the writers.
namespace PlaylistNames
{

inline const QString XspfNamespace = QStringLiteral("http://xspf.org/ns/0/");

QString Shown(const QString &fileName); // as a message shows it
bool IsAbsolute(const QString &name);
QString Cleaned(const QString &name);
qsizetype SchemeLength(const QByteArray &text);
bool LooksLikeUrl(const QByteArray &line);
QString SafeRelative(const QString &name);
#ifndef Q_OS_WIN
QString RealPath(const QString &name);
bool SamePlace(const QString &a, const QString &b);
#endif
QString Physical(const QString &absolute);
QString Resolved(const QString &name, const QString &folder);
QString RelativeName(const QString &file, const QString &folder);
// The name that a playlist file holds: the file itself, or relative to relativeTo when given.
QString WrittenName(const QString &file, const QString &relativeTo);
QString FolderOfTarget(const QString &fileName);

} // namespace PlaylistNames
