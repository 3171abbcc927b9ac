#include "data/Durations.h"

namespace
{
// A single character gets a leading "0"; a longer text (or a minus sign with a digit) stays.
QString TwoCharacters(qint64 value)
{
    QString text = QString::number(value);
    if (text.size() == 1)
        text.prepend(QLatin1Char('0'));
    return text;
}
} // namespace

QString FormatMilliseconds(qint64 ms)
{
    // Integer division, truncating toward zero.
    const qint64 s = ms / 1000;
    return TwoCharacters(s / 60) + QLatin1Char(':') + TwoCharacters(s % 60);
}
