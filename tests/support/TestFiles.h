#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
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
// them all; environment is added to each run's own, and childSetUp runs in each child.
QList<TRun> RunTogether(const QString &program, const QList<QStringList> &argumentLists,
                        const QStringList &environment = {},
                        const std::function<void()> &childSetUp = {});

// Tests of what another user meets: when the tests run as root, the runs are made as nobody
// (whom permission bits bind), otherwise as the user itself. The program is copied into
// `folder`, which everyone may enter, since the checkout may lie where only its owner can.
// if (!user.Missing.isEmpty()) GTEST_SKIP() << user.Missing.toStdString();
struct TOtherUser {
    QString Program;                  // the copy
    std::function<void()> ChildSetUp; // for QProcess::setChildProcessModifier
    bool Root = false;                // the runs are made as nobody
    uint Uid = 0;
    uint Gid = 0;
    QString Missing; // why runs as that user cannot be made, also written to stderr; or empty
};
TOtherUser OtherUser(const QString &program, const QString &folder);
// Lets everyone enter and read a folder (and write it when writable is set).
void OpenToEveryone(const QString &folder, bool writable);

// The folder of real MP3 files that QUILLMERE_CORPUS names; empty when it names none.
QString CorpusFolder();
// Why CorpusFolder() is empty, also written to stderr so that a skip is seen in any log:
// GTEST_SKIP() << CorpusMissing();
std::string CorpusMissing();
