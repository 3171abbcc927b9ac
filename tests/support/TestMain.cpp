#include "app/QuillmereApplication.h"

#include <QStandardPaths>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Settings and other per-user files go to a scratch place, never the user's own.
    QStandardPaths::setTestModeEnabled(true);
    TQuillmereApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
