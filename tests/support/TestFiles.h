#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <string>

// A file's bytes; "<missing>" when it cannot be read, so a comparison never passes by chance.
QByteArray ReadAll(const QString &name);
// Writes the bytes, replacing the file; fails the current test when it cannot.
void WriteAll(const QString &name, const QByteArray &bytes);

// A finished run of a program: exit code -1 when it crashed or hung.
struct TRun {
    int ExitCode = -1;
    QByteArray Out;
    QByteArray Err;
};
TRun RunProgram(const QString &program, const QStringList &arguments,
                const QString &workingDirectory = QString());
// Starts one run of the program per argument list, all before any is waited for, and waits for
// them all; environment is added to each run's own.
QList<TRun> RunTogether(const QString &program, const QList<QStringList> &argumentLists,
                        const QStringList &environment = {});

// The folder of real MP3 files that QUILLMERE_CORPUS names; empty when it names none.
QString CorpusFolder();
// Why CorpusFolder() is empty, also written to stderr so that a skip is seen in any log:
// GTEST_SKIP() << CorpusMissing();
std::string CorpusMissing();
