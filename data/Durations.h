#pragma once

#include <QString>

// The text shown for a duration everywhere: minutes ":" seconds, each at least two digits,
// minutes not limited (0 -> "00:00", 65000 -> "01:05", 6000000 -> "100:00"). Whole seconds
// from the library are passed multiplied by 1000.
QString FormatMilliseconds(qint64 ms);
