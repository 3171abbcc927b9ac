#pragma once

#include "tests/support/SilentMp3.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class TestLibrary;
struct sqlite3;

// A folder tree of generated MP3 files.
class MusicTree
{
public:
    QString Root() const { return m_dir.path(); }
    QString Path(const QString &relative) const { return Root() + QLatin1Char('/') + relative; }
    QString Add(const QString &relative, const SilentMp3Options &options = {});
    void AddFolder(const QString &relative);

private:
    QTemporaryDir m_dir;
};

// Frames of a 44.1 kHz silent file whose exact length lies in [fromMs, toMs]; -1 when none.
int FramesFor(qint64 fromMs, qint64 toMs);

// The stored songs' full names, in the order they were added.
QStringList StoredFiles(TestLibrary &library);

// Another program's connection that holds the library's write lock while it lives.
class LockHolder
{
public:
    explicit LockHolder(const QString &file);
    ~LockHolder();
    LockHolder(const LockHolder &) = delete;
    LockHolder &operator=(const LockHolder &) = delete;

private:
    sqlite3 *m_db = nullptr;
};

// The lines a run wrote to stderr.
QStringList Lines(const QByteArray &err);

// The journal files left beside a library ("-wal", "-shm", "-journal").
QStringList LeftBeside(const QString &library);
