#include "tests/support/SmallVolume.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/mount.h>

SmallVolume::SmallVolume(int kilobytes)
{
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k";
    if (::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0,
                options.constData()) == 0)
        m_mounted = true;
    else
        m_reason = QStringLiteral("cannot mount a small tmpfs: %1")
                       .arg(QString::fromLocal8Bit(std::strerror(errno)));
}

SmallVolume::~SmallVolume()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
}

QString SmallVolume::Folder() const
{
    return m_dir.path() + QLatin1Char('/');
}

void SmallVolume::Fill()
{
    QFile filler(Folder() + QStringLiteral("filler"));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return;
    const QByteArray block(1024, 'f');
    while (filler.write(block) == block.size()) {
    }
    while (filler.write("f", 1) == 1) {
    }
}
