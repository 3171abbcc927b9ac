#include "dialogs/FileDialogService.h"

#include <QDir>
#include <QFileDialog>

namespace
{
FileDialogService::Handler &Scripted()
{
    static FileDialogService::Handler handler;
    return handler;
}
} // namespace

QString FileDialogService::Execute(QFileDialog *dialog)
{
    if (Scripted())
        return Scripted()(TKind::SaveFile, dialog->directory().absolutePath());
    if (dialog->exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog->selectedFiles();
    return files.isEmpty() ? QString() : QDir::toNativeSeparators(files.first());
}

QString FileDialogService::ChooseFolder(QWidget *parent, const QString &caption,
                                        const QString &start)
{
    const QString chosen = Scripted() ? Scripted()(TKind::Folder, start)
                                      : QFileDialog::getExistingDirectory(parent, caption, start);
    if (chosen.isEmpty())
        return {};
    QString folder = QDir::toNativeSeparators(chosen);
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    return folder;
}

void FileDialogService::SetHandler(Handler handler)
{
    Scripted() = std::move(handler);
}
