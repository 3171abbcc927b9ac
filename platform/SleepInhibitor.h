#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>

// Keeps the system from suspending while held: through login1's inhibitor on the system bus,
// else the desktop portal's Inhibit on the session bus (as in a sandbox). Never the screen
// lock or the idle blank. Without either, holding does nothing.
class TSleepInhibitor : public QObject
{
    Q_OBJECT

public:
    TSleepInhibitor(const QDBusConnection &system, const QDBusConnection &session,
                    QObject *parent = nullptr);
    ~TSleepInhibitor() override;

    void SetHeld(bool held);
    // An inhibitor is in force now.
    bool Active() const { return m_lock.isValid() || !m_portalRequest.isEmpty(); }

signals:
    void ActiveChanged(bool active);

private:
    void AskLogin();
    void AskPortal();
    void Drop();

    QDBusConnection m_system;
    QDBusConnection m_session;
    bool m_wanted = false;
    bool m_asking = false;
    QDBusUnixFileDescriptor m_lock; // login1's: closing it ends the inhibitor
    QString m_portalRequest;        // the portal's: closing the request ends it
};
