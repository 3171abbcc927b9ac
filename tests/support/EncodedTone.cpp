#include "tests/support/EncodedTone.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>
#include <cmath>
#include <cstdio>

QByteArray TonePcm(qint64 firstFrame, qint64 frames, double frequency, double amplitude)
{
    QByteArray pcm(qsizetype(frames * 4), Qt::Uninitialized);
    auto *out = reinterpret_cast<uchar *>(pcm.data());
    for (qint64 i = 0; i < frames; ++i) {
        const double phase = 2 * M_PI * frequency * double(firstFrame + i) / 44100.0;
        const auto sample = qint16(std::lround(amplitude * 32767 * std::sin(phase)));
        qToLittleEndian(sample, out + i * 4);
        qToLittleEndian(sample, out + i * 4 + 2);
    }
    return pcm;
}

bool LameAvailable()
{
    return !QStandardPaths::findExecutable(QStringLiteral("lame")).isEmpty();
}

std::string LameMissing()
{
    const std::string why = "the lame encoder is not installed (scripts/install-deps.sh)";
    std::fprintf(stderr, "SKIPPED: %s\n", why.c_str());
    return why;
}

QString EncodeWithLame(const QByteArray &pcm, const QString &mp3Path, const QStringList &options)
{
    QProcess lame;
    QStringList arguments{QStringLiteral("--quiet"),    QStringLiteral("-r"),
                          QStringLiteral("-s"),         QStringLiteral("44.1"),
                          QStringLiteral("--bitwidth"), QStringLiteral("16"),
                          QStringLiteral("--signed"),   QStringLiteral("--little-endian"),
                          QStringLiteral("-m"),         QStringLiteral("j")};
    arguments << options << QStringLiteral("-") << mp3Path;
    lame.start(QStringLiteral("lame"), arguments);
    if (!lame.waitForStarted())
        return QStringLiteral("lame did not start: %1").arg(lame.errorString());
    lame.write(pcm);
    lame.closeWriteChannel();
    if (!lame.waitForFinished(120000) || lame.exitStatus() != QProcess::NormalExit ||
        lame.exitCode() != 0)
        return QStringLiteral("lame failed: %1")
            .arg(QString::fromLocal8Bit(lame.readAllStandardError()));
    return QString();
}
