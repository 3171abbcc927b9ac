#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

// Desktop notifications (org.freedesktop.Notifications): one bubble, replaced by the next.
// Without the service nothing is shown and nothing is said.
class TNotifier : public QObject
{
    Q_OBJECT

public:
    explicit TNotifier(const QDBusConnection &bus, QObject *parent = nullptr);

    void Show(const QString &summary, const QString &body);
    // The id the service gave the last bubble; 0 before the first answer.
    uint LastId() const { return m_id; }

signals:
    void Shown(uint id);

private:
    QDBusConnection m_bus;
    uint m_id = 0;
};
