#include "dialogs/ErrorReporting.h"

#include "base/Errors.h"
#include "dialogs/MessageService.h"

#include <QDirIterator>
#include <QGuiApplication>

void ReportError(const QString &text)
{
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    ShowError(text);
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
