#include "platform/Shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>

namespace Shell
{
namespace
{
ProgramHandler &Programs()
{
    static ProgramHandler handler;
    return handler;
}
UrlHandler &Urls()
{
    static UrlHandler handler;
    return handler;
}
} // namespace

bool StartProgram(const QString &program, const QStringList &arguments)
{
    if (Programs())
        return Programs()(program, arguments);
    if (program.trimmed().isEmpty())
        return false;
    return QProcess::startDetached(program, arguments);
}

bool OpenUrl(const QUrl &url)
{
    if (Urls())
        return Urls()(url);
    return QDesktopServices::openUrl(url);
}

void SetHandlers(ProgramHandler programHandler, UrlHandler urlHandler)
{
    Programs() = std::move(programHandler);
    Urls() = std::move(urlHandler);
}

} // namespace Shell
