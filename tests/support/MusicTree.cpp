#include "tests/support/MusicTree.h"

#include "data/DataSet.h"
#include "data/Database.h"
#include "tests/support/TestLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sqlite3.h>

QString MusicTree::Add(const QString &relative, const SilentMp3Options &options)
{
    const QString path = Path(relative);
    QDir().mkpath(QFileInfo(path).path());
    WriteSilentMp3(path, options);
    return path;
}

void MusicTree::AddFolder(const QString &relative)
{
    QDir().mkpath(Path(relative));
}

int FramesFor(qint64 fromMs, qint64 toMs)
{
    SilentMp3Options o;
    for (o.Frames = 1;; ++o.Frames) {
        const qint64 ms = SilentMp3ExpectedLengthMs(o);
        if (ms >= fromMs && ms <= toMs)
            return o.Frames;
        if (ms > toMs)
            return -1;
    }
}

QStringList StoredFiles(TestLibrary &library)
{
    TConnection connection;
    connection.ConnectionString = library.ConnectionString();
    connection.Open();
    TDataSet q(&connection);
    q.SetCommandText(QStringLiteral("SELECT Path, Filename FROM Playlist_DB ORDER BY Row_ID"));
    q.Open();
    QStringList files;
    for (q.First(); !q.Eof(); q.Next())
        files << q.AsString(QStringLiteral("Path")) + q.AsString(QStringLiteral("Filename"));
    return files;
}

LockHolder::LockHolder(const QString &file)
{
    sqlite3_open_v2(QFile::encodeName(file).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    EXPECT_EQ(sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
}

LockHolder::~LockHolder()
{
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(m_db);
}

QStringList Lines(const QByteArray &err)
{
    return QString::fromUtf8(err).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList LeftBeside(const QString &library)
{
    QStringList left;
    for (const char *tail : {"-wal", "-shm", "-journal"})
        if (QFileInfo::exists(library + QLatin1String(tail)))
            left << QString::fromLatin1(tail);
    return left;
}
