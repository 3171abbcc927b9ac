#pragma once

#include <QObject>
#include <QString>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

// The child of a window (a pointer, smart or plain) that carries the given object name, as
// the window built it. A missing child fails the test with its name and ends the test, since
// every later step would use it.
template <class T, class Window> T *Child(const Window &window, const char *name)
{
    T *child = window->template findChild<T *>(QLatin1String(name));
    if (!child) {
        const std::string what =
            std::string("the window has no child named ") + name + " of the expected type";
        ADD_FAILURE() << what;
        throw std::logic_error(what);
    }
    return child;
}
