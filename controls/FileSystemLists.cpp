#include "controls/FileSystemLists.h"

#include "base/Errors.h"
#include "base/FileNames.h"

#include <QDir>
#include <QFileInfo>
#include <QStyle>

namespace
{
QString CleanFolder(const QString &folder)
{
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}
} // namespace

// ---- Drive chooser

TDriveComboBox::TDriveComboBox(QWidget *parent) : QComboBox(parent)
{
    for (const QFileInfo &drive : QDir::drives()) {
        const QString root = drive.absoluteFilePath();
        addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), QDir::toNativeSeparators(root),
                DriveOf(root));
    }
}

QString TDriveComboBox::Drive() const
{
    return currentData().toString();
}

void TDriveComboBox::SetDrive(const QString &drive)
{
    const int index = findData(drive.toLower());
    if (index >= 0)
        setCurrentIndex(index);
}

QString TDriveComboBox::RootOf(const QString &drive)
{
#ifdef Q_OS_WIN
    return drive.toUpper() + QStringLiteral(":/");
#else
    Q_UNUSED(drive);
    return QStringLiteral("/");
#endif
}

QString TDriveComboBox::DriveOf(const QString &folder)
{
#ifdef Q_OS_WIN
    return folder.left(1).toLower();
#else
    Q_UNUSED(folder);
    return QStringLiteral("/");
#endif
}

// ---- Folder list

TDirectoryListBox::TDirectoryListBox(TFolderReader reader, QWidget *parent)
    : QListWidget(parent), m_reader(std::move(reader))
{
    connect(this, &QListWidget::itemActivated, this, &TDirectoryListBox::OpenCurrent);
}

void TDirectoryListBox::SetDirectory(const QString &folder)
{
    const QString directory = CleanFolder(folder);
    const TFolderEntries listing = m_reader.List(directory);

    const QString root = TDriveComboBox::RootOf(TDriveComboBox::DriveOf(directory));
    const QStringList parts =
        directory.mid(root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    clear();
    auto add = [this](const QIcon &icon, int level, const QString &text, const QString &path) {
        auto *item = new QListWidgetItem(
            icon, QString(level * 2, QLatin1Char(' ')) + ReadableFileName(text), this);
        item->setData(Qt::UserRole, path);
    };
    QString path = root;
    add(open, 0, QDir::toNativeSeparators(root), root);
    for (int level = 0; level < parts.size(); ++level) {
        path = m_reader.Subfolder(path, parts[level]);
        add(open, level + 1, parts[level], path);
    }
    setCurrentRow(int(parts.size()));
    for (const QString &name : listing.Folders)
        add(closed, int(parts.size()) + 1, name, m_reader.Subfolder(directory, name));
    m_directory = directory;
    emit DirectoryChanged();
}

QString TDirectoryListBox::HighlightedDirectory() const
{
    const QListWidgetItem *item = currentItem();
    return item ? item->data(Qt::UserRole).toString() : m_directory;
}

void TDirectoryListBox::OpenCurrent()
{
    SetDirectory(HighlightedDirectory());
}

// ---- File list

TFileListBox::TFileListBox(TFolderReader reader, QWidget *parent)
    : QListWidget(parent), m_reader(std::move(reader))
{
}

void TFileListBox::SetDirectory(const QString &folder)
{
    clear();
    try {
        for (const QString &name : m_reader.List(folder).Files)
            addItem(ReadableFileName(name));
    } catch (const EError &) {
        // The folder list has already refused a folder it cannot read.
    }
}
