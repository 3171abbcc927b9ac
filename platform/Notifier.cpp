#include "platform/Notifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

TNotifier::TNotifier(const QDBusConnection &bus, QObject *parent) : QObject(parent), m_bus(bus) {}

void TNotifier::Show(const QString &summary, const QString &body)
{
    if (!m_bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("desktop-entry"), QStringLiteral("com.corvanta.Quillmere")},
        {QStringLiteral("category"), QStringLiteral("x-quillmere.song")},
    };
    call << QStringLiteral("Quillmere") << m_id << QStringLiteral("com.corvanta.Quillmere")
         << summary << body << QStringList() << hints << qint32(-1);
    // Never waited for: a slow or missing service does not hold up playback.
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusPendingReply<uint> reply = *finished;
                if (reply.isError())
                    return;
                m_id = reply.value();
                emit Shown(m_id);
            });
}
