#include "tests/support/TestFiles.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

QByteArray ReadAll(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

TRun RunProgram(const QString &program, const QStringList &arguments,
                const QString &workingDirectory)
{
    QProcess process;
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    TRun run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit) {
        run.ExitCode = process.exitCode();
        run.Out = process.readAllStandardOutput();
        run.Err = process.readAllStandardError();
    }
    return run;
}
