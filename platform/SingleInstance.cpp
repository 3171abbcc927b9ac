#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QUrl>

namespace
{
const int HandOverMs = 5000;
const char Taken = 'T';
} // namespace

TSingleInstance::TSingleInstance(const QString &key, QObject *parent) : QObject(parent)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    const QByteArray hash =
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    m_path = folder + QStringLiteral("/quillmere-") + QString::fromLatin1(hash);
}

TSingleInstance::~TSingleInstance() = default;

QStringList TSingleInstance::LocalFiles(const QStringList &arguments, const QString &workingFolder)
{
    QStringList files;
    const QDir folder(workingFolder);
    for (const QString &argument : arguments) {
        if (argument.isEmpty())
            continue;
        if (argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
            const QUrl url(argument);
            if (url.isLocalFile())
                files.append(QDir::cleanPath(url.toLocalFile()));
            continue;
        }
        if (argument.contains(QLatin1String("://"))) {
            files.append(argument);
            continue;
        }
        files.append(QDir::cleanPath(folder.absoluteFilePath(argument)));
    }
    return files;
}

bool TSingleInstance::HandOver(const QStringList &arguments)
{
    // Two starts at the same moment: the second waits until the first listens.
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.tryLock(HandOverMs);
    if (Send(arguments))
        return true;
    // Nobody answers: a socket left by a program that ended is removed.
    QLocalServer::removeServer(m_path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &TSingleInstance::Accept);
    if (!m_server->listen(m_path)) {
        delete m_server;
        m_server = nullptr;
    }
    return false;
}

bool TSingleInstance::Send(const QStringList &arguments) const
{
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(HandOverMs))
        return false;
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << arguments;
    socket.write(message);
    if (!socket.waitForBytesWritten(HandOverMs))
        return false;
    // Taken only when the running window says so; else this start opens its own.
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(HandOverMs))
            return false;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == Taken;
}

void TSingleInstance::Accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto stream = std::make_shared<QDataStream>(socket);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, stream] {
            stream->startTransaction();
            QStringList arguments;
            *stream >> arguments;
            if (!stream->commitTransaction())
                return; // the rest is still on its way
            socket->putChar(Taken);
            socket->flush();
            socket->disconnectFromServer();
            emit Received(arguments);
        });
    }
}
