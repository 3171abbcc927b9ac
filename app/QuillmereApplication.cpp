#include "app/QuillmereApplication.h"

#include "data/Errors.h"
#include "dialogs/MessageService.h"

#include <QDirIterator>
#include <QGuiApplication>

namespace
{
void ReportError(const QString &text)
{
    // A handler that failed midway must not leave the hourglass behind.
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    ShowError(text);
}
} // namespace

TQuillmereApplication::TQuillmereApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Quillmere"));
    setApplicationDisplayName(QStringLiteral("Quillmere"));
    setOrganizationName(QStringLiteral("Corvanta"));
    // The desktop entry's name: the desktop finds the icon and groups the windows by it.
    setDesktopFileName(QStringLiteral("com.corvanta.Quillmere"));
    setWindowIcon(ProgramIcon());
}

bool TQuillmereApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const EError &e) {
        ReportError(e.Message());
    } catch (const std::exception &e) {
        ReportError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

void RunReportingErrors(const std::function<void()> &action)
{
    try {
        action();
    } catch (const EError &e) {
        ReportError(e.Message());
    } catch (const std::exception &e) {
        ReportError(QString::fromLocal8Bit(e.what()));
    }
}

QIcon ProgramIcon()
{
    QIcon icon;
    QDirIterator sizes(QStringLiteral(":/icons"), {QStringLiteral("*.png")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (sizes.hasNext())
        icon.addFile(sizes.next());
    return icon;
}
