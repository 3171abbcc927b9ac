#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <string>

// A sine tone as 16-bit stereo PCM at 44100 Hz, interleaved little-endian, from the given
// frame of an endless tone on; amplitude 1 is full scale.
QByteArray TonePcm(qint64 firstFrame, qint64 frames, double frequency = 440,
                   double amplitude = 0.5);

// The lame encoder, which writes the encoder delay and padding into its header frame.
bool LameAvailable();
// Why lame is missing, also written to stderr: GTEST_SKIP() << LameMissing();
std::string LameMissing();
// Encodes such PCM with lame and the given options ("-b", "128" or "-V", "2"); the error
// text, empty on success.
QString EncodeWithLame(const QByteArray &pcm, const QString &mp3Path, const QStringList &options);
