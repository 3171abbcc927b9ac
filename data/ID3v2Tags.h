#pragma once

#include "data/UMP3s.h"

#include <QString>

// A song's tag fields as the library stores them.
struct TSongTags {
    QString Title, Artist, Album, Comment;
    int Year = 0;
    int Track = 0;
    int Genre = NoGenre;
};

// The ID3v1 record's fields: texts through Windows-1252, the year as a number or 0.
TSongTags SongTagsFromID3v1(const TID3Tag &Tag);

// Fills Tags from the file's ID3v2 tag (versions 2.2 to 2.4), read only. Texts are cut to the
// library's widths (30 characters, the comment 29); the year is the first four digits of the
// recording time, the track the number before "/" when 1-255, the genre a "(n)" or "n" form or
// a name of the genre table. Returns false when the file has no ID3v2 tag or cannot be read.
bool ReadID3v2Tags(const QString &FileName, TSongTags &Tags);

// The file's tag as the import stores it: its ID3v1 tag, or its ID3v2 tag when it has no
// ID3v1 tag. Raises as ReadID3Tag does.
TSongTags ReadSongTags(const QString &FileName);

// Maps a genre text ("(17)", "17", "Rock", "(17)Rock") to its number, 255 when it has none.
int ID3v2GenreNumber(const QString &Text);
