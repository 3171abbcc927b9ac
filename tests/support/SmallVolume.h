#pragma once

#include <QString>
#include <QTemporaryDir>

// A tmpfs of a few kilobytes mounted on a temporary folder, so writes fail with "No space
// left on device" as on a full disk. Mounting needs root; Available() says whether it worked
// and Reason() why not.
class SmallVolume
{
public:
    explicit SmallVolume(int kilobytes);
    ~SmallVolume();
    SmallVolume(const SmallVolume &) = delete;
    SmallVolume &operator=(const SmallVolume &) = delete;

    bool Available() const { return m_mounted; }
    QString Reason() const { return m_reason; }
    QString Folder() const; // with a trailing separator
    // Fills the volume up to its last few bytes.
    void Fill();

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_reason;
};
