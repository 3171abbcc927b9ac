#pragma once

#include <QByteArray>
#include <QString>

// A whole gapless decode of a file, as the player's 16-bit stereo PCM.
QByteArray DecodedPcm(const QString &path);
