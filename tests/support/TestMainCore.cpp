// The main of the tests of plain logic: a core application, no window system.
#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Settings and other per-user files go to a scratch place, never the user's own.
    QStandardPaths::setTestModeEnabled(true);
    // Each test program keeps its settings apart: programs that run at once never meet there.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillmere"));
    QCoreApplication::setOrganizationName(QStringLiteral("Corvanta"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
