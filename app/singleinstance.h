#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;
class QWidget;

// One running window per user: a second start hands its files over a local
// socket and exits.

// "Lectern.SingleInstance", suffixed with "-" and userTag when the tag is
// not empty (a Unix socket lives in a shared folder, so it must be per user).
QString singleInstanceServerName(const QString &userTag);
// The name for the current user on this platform.
QString singleInstanceServerName();

// The wire format: UTF-8 paths joined with "\n", nothing else; the end of
// the connection ends the message.
QByteArray encodeForwardMessage(const QStringList &files);
// Splits at "\n" and drops empty pieces.
QStringList decodeForwardMessage(const QByteArray &message);

// Client side: true when a running instance took the files (the caller then
// exits with 0); false when none answered within 500 ms.
bool forwardToRunningInstance(const QStringList &files,
                              const QString &serverName = singleInstanceServerName());

// Server side, owned by the main window. Every forwarded path is emitted in
// order through openRequested; then the window comes to the front.
class SingleInstanceServer : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstanceServer(QWidget *window);
    // Removes a stale server of the same name, then listens for this user
    // only. False when listening failed (the program runs without it).
    bool listen(const QString &serverName = singleInstanceServerName());
    QString fullServerName() const;

signals:
    void openRequested(const QString &path);

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket *socket);
    void onDisconnected(QLocalSocket *socket);

    QWidget *m_window = nullptr;
    QLocalServer *m_server = nullptr;
    QHash<QLocalSocket *, QByteArray> m_buffers;
};
