#pragma once

#include <QByteArray>
#include <QString>

// The file that WriteFileAtomically replaces or creates for the name, absolute: links followed,
// also one that points at nothing yet. Raises EInOutError with the system's reason.
QString AtomicTargetName(const QString &fileName);

// Writes the bytes to a temporary file beside the target, checks every write, flushes them to
// the disk and only then puts the file in the target's place, so a failure leaves an existing
// file as it was. A link keeps its place and gets the file where it points. Raises EInOutError
// whose text is the system's reason.
void WriteFileAtomically(const QString &fileName, const QByteArray &bytes);
