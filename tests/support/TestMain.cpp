#include "app/QuillmereApplication.h"

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
    TQuillmereApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
