#pragma once

#include <QGuiApplication>

// The hourglass cursor for the length of a scope, restored also when an error leaves it.
class THourglass
{
public:
    THourglass() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~THourglass() { QGuiApplication::restoreOverrideCursor(); }
    THourglass(const THourglass &) = delete;
    THourglass &operator=(const THourglass &) = delete;
};
