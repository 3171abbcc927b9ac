#pragma once

#include "data/Database.h"

#include <QString>
#include <QTemporaryDir>

// A fresh library file in a temporary program directory, removed afterwards.
class TestLibrary
{
public:
    TestLibrary(); // creates the library and points the program directory at it
    // With a PostgreSQL address: the library in that database, emptied first.
    explicit TestLibrary(const QString &serverAddress);
    ~TestLibrary(); // restores the program directory

    QString Directory() const; // with trailing separator
    QString FileName() const;
    QString ConnectionString() const;

    // Direct writes for setting up a case; each returns the new row's id.
    qint64 AddSong(const QString &title, const QString &path = QStringLiteral("/music/"),
                   const QString &fileName = QString(), int duration = 0, int genre = 255,
                   const QString &artist = QString(), const QString &album = QString(),
                   int year = 0, int track = 0, const QString &comment = QString());
    qint64 AddPlaylist(const QString &name, const QString &description = QString());
    qint64 AddEntry(qint64 playlistId, qint64 songId, int sequence);

    // Runs a statement on a connection of its own.
    void Exec(const QString &sql, const TParams &params = {});
    qint64 QueryInt(const QString &sql);
    // (Song_ID, Sequence) of a playlist's stored entries ordered by Sequence.
    QList<QPair<qint64, int>> StoredEntries(qint64 playlistId);

private:
    QTemporaryDir m_dir;
    QString m_server;
    TConnection m_connection;
};
