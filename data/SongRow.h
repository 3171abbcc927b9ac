#pragma once

#include "data/ID3v2Tags.h"

#include <QString>
#include <QStringList>

class TDataSet;
class TStatement;

// Where a song row keeps its file: the folder with its final separator, and the file's name.
struct TSongPlace {
    QString Path;
    QString Filename;
};

// A file's full name split as a song row keeps it.
TSongPlace SplitSongFile(const QString &file);
// The full name of the file that a song row's Path and Filename give.
QString JoinSongFile(const QString &path, const QString &filename);
// The file of a song data set's current row, or of the row given.
QString SongFile(const TDataSet &songs);
QString SongFile(const TDataSet &songs, int row);

// A new song row: its file, its tag and its measured length, and the file's size and time.
struct TSongRow {
    QString File;
    TSongTags Tags;
    int Duration = 0; // whole seconds
    qint64 Size = 0;
    qint64 Modified = 0; // milliseconds since 1970 UTC
};

// The columns a new song row is written with, in the order they are bound.
const QStringList &SongRowColumns();
// The names of their parameters, in the same order, without the colon.
const QStringList &SongRowParameters();
// The statement that inserts one song row; its parameters are numbered in the columns' order.
QString InsertSongText();
// Binds a row's values to the parameters numbered from first on, in the columns' order.
void BindSongRow(TStatement &statement, int first, const TSongRow &row);
