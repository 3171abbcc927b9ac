#include "tests/support/TestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstdio>
#include <grp.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

QList<TRun> RunTogether(const QString &program, const QList<QStringList> &argumentLists,
                        const QStringList &environment, const std::function<void()> &childSetUp)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const QStringList &arguments : argumentLists) {
        auto process = std::make_unique<QProcess>();
        if (!environment.isEmpty())
            process->setEnvironment(QProcess::systemEnvironment() + environment);
        if (childSetUp)
            process->setChildProcessModifier(childSetUp);
        process->start(program, arguments);
        processes.push_back(std::move(process));
    }
    QList<TRun> runs;
    for (const auto &process : processes) {
        TRun run;
        if (process->waitForFinished(60000) && process->exitStatus() == QProcess::NormalExit) {
            run.ExitCode = process->exitCode();
            run.Out = process->readAllStandardOutput();
            run.Err = process->readAllStandardError();
        }
        runs << run;
    }
    return runs;
}

void OpenToEveryone(const QString &folder, bool writable)
{
    ASSERT_EQ(chmod(QFile::encodeName(folder).constData(), writable ? 0777 : 0755), 0)
        << folder.toStdString();
}

TOtherUser OtherUser(const QString &program, const QString &folder)
{
    TOtherUser user;
    OpenToEveryone(folder, false);
    user.Program = folder + QStringLiteral("/") + QFileInfo(program).fileName();
    EXPECT_TRUE(QFile::copy(program, user.Program)) << user.Program.toStdString();
    chmod(QFile::encodeName(user.Program).constData(), 0755);
    user.Root = geteuid() == 0;
    user.Uid = user.Root ? 65534 : geteuid();
    user.Gid = user.Root ? 65534 : getegid();
    if (user.Root) {
        user.ChildSetUp = [] {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
                _exit(127);
        };
    }
    // The copy without arguments prints its usage and ends with 2.
    const QList<TRun> probe = RunTogether(user.Program, {QStringList()}, {}, user.ChildSetUp);
    if (probe.first().ExitCode != 2) {
        user.Missing = QStringLiteral("skipped: %1 cannot be run as user %2 (exit %3)")
                           .arg(user.Program)
                           .arg(user.Uid)
                           .arg(probe.first().ExitCode);
        std::fprintf(stderr, "%s\n", qPrintable(user.Missing));
    }
    return user;
}

QString CorpusFolder()
{
    const QString corpus = qEnvironmentVariable("QUILLMERE_CORPUS");
    return !corpus.isEmpty() && QFileInfo(corpus).isDir() ? corpus : QString();
}

std::string CorpusMissing()
{
    const QString corpus = qEnvironmentVariable("QUILLMERE_CORPUS");
    const QString reason =
        corpus.isEmpty()
            ? QStringLiteral("QUILLMERE_CORPUS is not set")
            : QStringLiteral("QUILLMERE_CORPUS names \"%1\", which is not a folder").arg(corpus);
    const std::string text = "SKIPPED, no corpus of real MP3 files: " + reason.toStdString() +
                             " (CTest sets it to ../shared/corpus beside the source)";
    std::fprintf(stderr, "*** %s\n", text.c_str());
    return text;
}
