#include "app/singleinstance.h"

#include "platform/startupenv.h"
#include "platform/userfolders.h"

#include <QApplication>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

QString singleInstanceServerName(const QString &userTag)
{
    QString name = QStringLiteral("Lectern.SingleInstance");
    if (!userTag.isEmpty())
        name += QLatin1Char('-') + userTag;
    return name;
}

QString singleInstanceServerName()
{
    const QString name = singleInstanceServerName(currentUserTag());
    // In the user's private runtime folder; where there is none, or the
    // path would not fit a socket address, the plain name (in the system
    // temporary folder, still one per user by its tag).
    constexpr int kMaxSocketPath = 100;
    const QString folder = userRuntimeFolder();
    if (folder.isEmpty() || !makePrivateFolder(folder))
        return name;
    const QString full = folder + QLatin1Char('/') + name;
    return QFile::encodeName(full).size() <= kMaxSocketPath ? full : name;
}

QByteArray encodeForwardMessage(const QStringList &files)
{
    return files.join(QLatin1Char('\n')).toUtf8();
}

QStringList decodeForwardMessage(const QByteArray &message)
{
    QStringList paths;
    const QList<QByteArray> pieces = message.split('\n');
    for (const QByteArray &piece : pieces) {
        if (!piece.isEmpty())
            paths.append(QString::fromUtf8(piece));
    }
    return paths;
}

bool forwardToRunningInstance(const QStringList &files, const QString &serverName)
{
    constexpr int kConnectWaitMs = 500;
    constexpr int kWriteWaitMs = 500;
    QLocalSocket socket;
    socket.connectToServer(serverName, QIODevice::ReadWrite);
    if (!socket.waitForConnected(kConnectWaitMs))
        return false;
    const QByteArray message = encodeForwardMessage(files);
    if (!message.isEmpty()) {
        socket.write(message);
        socket.flush();
        while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(kWriteWaitMs)) {
        }
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kWriteWaitMs);
    return true;
}

SingleInstanceServer::SingleInstanceServer(QWidget *window)
    : QObject(window)
    , m_window(window)
{
}

bool SingleInstanceServer::listen(const QString &serverName)
{
    QLocalServer::removeServer(serverName);
    if (!m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &SingleInstanceServer::onNewConnection);
    }
    return m_server->listen(serverName);
}

QString SingleInstanceServer::fullServerName() const
{
    return m_server ? m_server->fullServerName() : QString();
}

void SingleInstanceServer::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        m_buffers.insert(socket, QByteArray());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { onDisconnected(socket); });
        // A client may have written and gone before we got here.
        if (socket->bytesAvailable() > 0)
            onReadyRead(socket);
        if (socket->state() == QLocalSocket::UnconnectedState)
            onDisconnected(socket);
    }
}

void SingleInstanceServer::onReadyRead(QLocalSocket *socket)
{
    auto it = m_buffers.find(socket);
    if (it != m_buffers.end())
        it->append(socket->readAll());
}

void SingleInstanceServer::onDisconnected(QLocalSocket *socket)
{
    auto it = m_buffers.find(socket);
    if (it == m_buffers.end())
        return; // already handled
    QByteArray message = std::move(*it);
    m_buffers.erase(it);
    message.append(socket->readAll());
    socket->deleteLater();
    const QStringList paths = decodeForwardMessage(message);
    for (const QString &path : paths)
        emit openRequested(path);
    if (m_window) {
        m_window->raise();
        m_window->activateWindow();
        QApplication::alert(m_window, 0);
    }
}
