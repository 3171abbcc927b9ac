#pragma once

#include <QIcon>
#include <functional>

class QString;

// Shows an error in an error box, first dropping any hourglass that a failed handler left.
void ReportError(const QString &text);

// Runs an action; an error it raises is shown in an error box. For code that runs outside
// event dispatch (start-up).
void RunReportingErrors(const std::function<void()> &action);

// The program's icon, in each size built into it.
QIcon ProgramIcon();

// A slot for a handler: an error it raises is shown right there, so it never unwinds through
// the toolkit's own code, which does not expect it.
template <typename Object> auto ReportingErrors(Object *object, void (Object::*handler)())
{
    return [object, handler] { RunReportingErrors([object, handler] { (object->*handler)(); }); };
}
