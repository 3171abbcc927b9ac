#pragma once

#include <QComboBox>
#include <QListWidget>
#include <QStringList>
#include <functional>

// A folder as the lists show it: its files and its subfolders, each in the order shown.
struct TFolderEntries {
    QStringList Files;
    QStringList Folders;
};

// How the lists read the file system, so that they show what the import walks. List raises
// EError when the folder cannot be read; Subfolder names a subfolder of a folder.
struct TFolderReader {
    std::function<TFolderEntries(const QString &folder)> List;
    std::function<QString(const QString &folder, const QString &name)> Subfolder;
};

// The system's drives. On Windows each drive letter, its value the lower-case letter; elsewhere
// the one root "/", from which every mounted file system is reached through the folder list.
class TDriveComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit TDriveComboBox(QWidget *parent = nullptr);
    QString Drive() const; // one character
    void SetDrive(const QString &drive);

    // The drive's root folder, and the drive a folder lies on.
    static QString RootOf(const QString &drive);
    static QString DriveOf(const QString &folder);
};

// The chain of folders from the root down to the current folder, then its subfolders.
class TDirectoryListBox : public QListWidget
{
    Q_OBJECT

public:
    explicit TDirectoryListBox(TFolderReader reader, QWidget *parent = nullptr);

    // Full path without a trailing separator, except for a root folder.
    QString Directory() const { return m_directory; }
    // Raises EInOutError when the folder cannot be read; the list is unchanged then.
    void SetDirectory(const QString &folder);
    QString HighlightedDirectory() const;
    // Makes the highlighted entry the current folder.
    void OpenCurrent();

signals:
    void DirectoryChanged();

private:
    TFolderReader m_reader;
    QString m_directory;
};

// The files of a folder that the reader lists: those the import walks.
class TFileListBox : public QListWidget
{
    Q_OBJECT

public:
    explicit TFileListBox(TFolderReader reader, QWidget *parent = nullptr);
    void SetDirectory(const QString &folder);

private:
    TFolderReader m_reader;
};
