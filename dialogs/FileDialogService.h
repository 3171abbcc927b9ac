#pragma once

#include <QString>
#include <functional>

class QFileDialog;
class QWidget;

// The program's file and folder choosers go through here, so tests can choose for the user.
class FileDialogService
{
public:
    enum class TKind { SaveFile, Folder };
    // Receives what is asked and where the chooser starts; returns the chosen name as the user
    // gave it, or an empty text for Cancel.
    using Handler = std::function<QString(TKind kind, const QString &start)>;

    // Shows a file dialog modally: the first chosen file, or empty when cancelled.
    static QString Execute(QFileDialog *dialog);

    // A folder chooser: the folder in native form with its trailing separator, or empty when
    // cancelled.
    static QString ChooseFolder(QWidget *parent, const QString &caption, const QString &start);

    // Replaces the choosers (tests); an empty handler restores them.
    static void SetHandler(Handler handler);
};
