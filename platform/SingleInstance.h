#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;

// One window per user and library. The first start listens on a local socket private to the
// user; a later start hands it its arguments and ends. A local socket rather than a D-Bus name:
// it works without a session bus (a bare X session, ssh), its name can carry the library, so
// two copies on two libraries stay apart, and a lock file makes two starts at the same moment
// end with one listener.
class TSingleInstance : public QObject
{
    Q_OBJECT

public:
    // key: what makes two starts the same program, such as the library they open.
    explicit TSingleInstance(const QString &key, QObject *parent = nullptr);
    ~TSingleInstance() override;

    // True when a running start took the arguments: this one ends. False when this start is
    // the first and now listens.
    bool HandOver(const QStringList &arguments);
    QString SocketPath() const { return m_path; }

    // Arguments as files of this start's working folder: file: URIs become their files,
    // relative names are made absolute; other addresses are left as they are.
    static QStringList LocalFiles(const QStringList &arguments, const QString &workingFolder);

signals:
    void Received(const QStringList &arguments);

private:
    bool Send(const QStringList &arguments) const;
    void Accept();

    QString m_path;
    QLocalServer *m_server = nullptr;
};
