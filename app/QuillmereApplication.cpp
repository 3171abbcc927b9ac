#include "app/QuillmereApplication.h"

#include "base/Errors.h"

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
