#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class TConnection;

// The folder that is away as a whole above a file that is gone: the highest folder of its path
// that is gone (the top folder of an import, a drive's folder), or its own folder when that is
// there but empty (the mount point an unmounted drive leaves). Empty when the file alone is
// gone from a folder that is there.
QString AbsentFolder(const QString &file);

struct TMissingSongs {
    QList<qint64> Gone;                  // every song whose file is gone, in Row_ID order
    QList<qint64> Prunable;              // those gone from a folder that is there
    QMap<QString, QList<qint64>> Absent; // the rest, by the folder that is away
    QHash<qint64, QString> Files;        // each gone song's file
};

// The songs whose file is gone; with a folder only the files in it and below it.
TMissingSongs FindMissingSongs(TConnection &connection, const QString &folder = QString());

// True when the file lies in one of the folders or below it.
bool InFolders(const QString &file, const QStringList &folders);
