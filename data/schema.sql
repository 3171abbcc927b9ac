-- The Quillmere library. `quillmere-lib init` lays out a new, empty library with this text;
-- the program only brings an older layout up to date (data/LibrarySchema.cpp).

CREATE TABLE Playlist_DB (
    Row_ID      INTEGER PRIMARY KEY AUTOINCREMENT,
    Path        TEXT NOT NULL CHECK (length(Path) <= 255),
    Filename    TEXT NOT NULL CHECK (length(Filename) <= 100),
    Duration    INTEGER,
    FileType    INTEGER,
    ID3_Title   TEXT COLLATE NOCASE CHECK (length(ID3_Title) <= 30),
    ID3_Artist  TEXT COLLATE NOCASE CHECK (length(ID3_Artist) <= 30),
    ID3_Genre   INTEGER CHECK (ID3_Genre BETWEEN 0 AND 255),
    ID3_Comment TEXT COLLATE NOCASE CHECK (length(ID3_Comment) <= 30),
    ID3_Album   TEXT COLLATE NOCASE CHECK (length(ID3_Album) <= 30),
    ID3_Year    INTEGER,
    ID3_Track   INTEGER CHECK (ID3_Track BETWEEN 0 AND 255),
    -- What the file was when its row was last read: bytes, and milliseconds since 1970 UTC.
    File_Size     INTEGER,
    File_Modified INTEGER
);
CREATE UNIQUE INDEX row_id ON Playlist_DB (Row_ID);
-- One row per file; the import asks for every file whether it is already in the library.
CREATE UNIQUE INDEX Playlist_DB_Location ON Playlist_DB (Path, Filename);

-- AUTOINCREMENT: a deleted playlist's number is never given out again.
CREATE TABLE Playlists (
    PlayList_ID  INTEGER PRIMARY KEY AUTOINCREMENT,
    Name         TEXT COLLATE NOCASE,
    Description  TEXT,
    Date_Created DATETIME
);

CREATE TABLE Playlist_Songs (
    Row_ID      INTEGER PRIMARY KEY AUTOINCREMENT,
    Song_ID     INTEGER,
    PlayList_ID INTEGER CHECK (PlayList_ID BETWEEN 0 AND 65535),
    Sequence    INTEGER CHECK (Sequence BETWEEN 0 AND 65535)
);
CREATE INDEX Playlist_Songs_PlayList ON Playlist_Songs (PlayList_ID);

-- Entries of a deleted playlist can no longer be reached; remove them with it.
CREATE TRIGGER Playlists_Delete_Entries AFTER DELETE ON Playlists
BEGIN
    DELETE FROM Playlist_Songs WHERE PlayList_ID = OLD.PlayList_ID;
END;

-- Sorting the songs by a column reads them through its index (Path through
-- Playlist_DB_Location).
CREATE INDEX Playlist_DB_Title ON Playlist_DB (ID3_Title);
CREATE INDEX Playlist_DB_Artist ON Playlist_DB (ID3_Artist);
CREATE INDEX Playlist_DB_Album ON Playlist_DB (ID3_Album);
CREATE INDEX Playlist_DB_Genre ON Playlist_DB (ID3_Genre);
CREATE INDEX Playlist_DB_Year ON Playlist_DB (ID3_Year);
CREATE INDEX Playlist_DB_Track ON Playlist_DB (ID3_Track);
CREATE INDEX Playlist_DB_Duration ON Playlist_DB (Duration);
CREATE INDEX Playlist_DB_Filename ON Playlist_DB (Filename);

-- Every three characters of the searched texts, so that a search reads only the songs that
-- may hold its words. The triggers keep it as Playlist_DB is.
CREATE VIRTUAL TABLE Playlist_Search USING fts5(
    ID3_Title, ID3_Artist, ID3_Album, ID3_Comment, Filename,
    content = 'Playlist_DB', content_rowid = 'Row_ID', tokenize = 'trigram');
CREATE TRIGGER Playlist_Search_Insert AFTER INSERT ON Playlist_DB
BEGIN
    INSERT INTO Playlist_Search(rowid, ID3_Title, ID3_Artist, ID3_Album, ID3_Comment, Filename)
    VALUES (NEW.Row_ID, NEW.ID3_Title, NEW.ID3_Artist, NEW.ID3_Album, NEW.ID3_Comment,
            NEW.Filename);
END;
CREATE TRIGGER Playlist_Search_Delete AFTER DELETE ON Playlist_DB
BEGIN
    INSERT INTO Playlist_Search(Playlist_Search, rowid, ID3_Title, ID3_Artist, ID3_Album,
                                ID3_Comment, Filename)
    VALUES ('delete', OLD.Row_ID, OLD.ID3_Title, OLD.ID3_Artist, OLD.ID3_Album, OLD.ID3_Comment,
            OLD.Filename);
END;
CREATE TRIGGER Playlist_Search_Update
AFTER UPDATE OF Row_ID, ID3_Title, ID3_Artist, ID3_Album, ID3_Comment, Filename ON Playlist_DB
BEGIN
    INSERT INTO Playlist_Search(Playlist_Search, rowid, ID3_Title, ID3_Artist, ID3_Album,
                                ID3_Comment, Filename)
    VALUES ('delete', OLD.Row_ID, OLD.ID3_Title, OLD.ID3_Artist, OLD.ID3_Album, OLD.ID3_Comment,
            OLD.Filename);
    INSERT INTO Playlist_Search(rowid, ID3_Title, ID3_Artist, ID3_Album, ID3_Comment, Filename)
    VALUES (NEW.Row_ID, NEW.ID3_Title, NEW.ID3_Artist, NEW.ID3_Album, NEW.ID3_Comment,
            NEW.Filename);
END;

-- The layout version; an older library is brought up to date when it is opened.
PRAGMA user_version = 2;
