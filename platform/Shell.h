#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

// Starting other programs and showing pages, in place of the desktop shell.
namespace Shell
{

// Starts a program with its arguments, detached. False when it cannot be started.
bool StartProgram(const QString &program, const QStringList &arguments);

// Opens a page or file in the user's browser or its associated program.
bool OpenUrl(const QUrl &url);

// Tests replace the real launches; empty handlers restore them.
using ProgramHandler = std::function<bool(const QString &program, const QStringList &arguments)>;
using UrlHandler = std::function<bool(const QUrl &url)>;
void SetHandlers(ProgramHandler programHandler, UrlHandler urlHandler);

} // namespace Shell
