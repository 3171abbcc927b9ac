#include "platform/SleepInhibitor.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace
{
const QString Reason = QStringLiteral("Playing music");
// The portal's flag for suspending; logout (1), user switch (2) and idle (8) stay allowed.
const uint PortalSuspend = 4;
} // namespace

TSleepInhibitor::TSleepInhibitor(const QDBusConnection &system, const QDBusConnection &session,
                                 QObject *parent)
    : QObject(parent), m_system(system), m_session(session)
{
}

TSleepInhibitor::~TSleepInhibitor()
{
    m_wanted = false;
    Drop();
}

void TSleepInhibitor::SetHeld(bool held)
{
    if (held == m_wanted)
        return;
    m_wanted = held;
    if (!held) {
        Drop();
        return;
    }
    if (!Active() && !m_asking)
        AskLogin();
}

void TSleepInhibitor::AskLogin()
{
    if (!m_system.isConnected()) {
        AskPortal();
        return;
    }
    m_asking = true;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Quillmere") << Reason
         << QStringLiteral("block");
    auto *watcher = new QDBusPendingCallWatcher(m_system.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *finished;
                if (reply.isError() || !reply.value().isValid()) {
                    AskPortal();
                    return;
                }
                m_asking = false;
                m_lock = reply.value();
                // Released while the answer was on its way.
                if (!m_wanted)
                    Drop();
                else
                    emit ActiveChanged(true);
            });
}

void TSleepInhibitor::AskPortal()
{
    if (!m_session.isConnected()) {
        m_asking = false;
        return;
    }
    m_asking = true;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
    call << QString() << PortalSuspend << QVariantMap{{QStringLiteral("reason"), Reason}};
    auto *watcher = new QDBusPendingCallWatcher(m_session.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                m_asking = false;
                const QDBusPendingReply<QDBusObjectPath> reply = *finished;
                if (reply.isError())
                    return;
                m_portalRequest = reply.value().path();
                if (!m_wanted)
                    Drop();
                else
                    emit ActiveChanged(true);
            });
}

void TSleepInhibitor::Drop()
{
    const bool was = Active();
    m_lock = QDBusUnixFileDescriptor();
    if (!m_portalRequest.isEmpty()) {
        m_session.call(QDBusMessage::createMethodCall(
                           QStringLiteral("org.freedesktop.portal.Desktop"), m_portalRequest,
                           QStringLiteral("org.freedesktop.portal.Request"),
                           QStringLiteral("Close")),
                       QDBus::NoBlock);
        m_portalRequest.clear();
    }
    if (was)
        emit ActiveChanged(false);
}
