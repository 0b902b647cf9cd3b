#include "main/unSingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QWidget>

#include <unistd.h>

QString TSingleInstance::guardName() { return QStringLiteral("Arvendel {6D64CA16-BB57-4F53-AA0D-57BBC9253CFE}"); }

QString TSingleInstance::messageText() { return QStringLiteral("Arvendel {28767137-A9E2-4279-B7FE-7BF7FB44A998}"); }

namespace {
// The guard belongs to the user's session, as a session's named mutex does: it lives in the
// user's runtime folder, or carries the user id when there is none.
QString socketPath(const QString &name)
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return QDir(runtime).filePath(name);
    return QDir(QDir::tempPath()).filePath(name + QStringLiteral(" uid") + QString::number(getuid()));
}
} // namespace

TSingleInstance::TSingleInstance(const QString &name, QObject *parent) : QObject(parent)
{
    QString n = name;
    if (n.isEmpty())
        n = qEnvironmentVariable("ARV_INSTANCE_NAME");
    if (n.isEmpty())
        n = guardName();
    name_ = socketPath(n);
}

TSingleInstance::~TSingleInstance()
{
    if (server_)
        server_->close();
}

bool TSingleInstance::claim()
{
    if (server_)
        return true;
    {
        QLocalSocket probe;
        probe.connectToServer(name_);
        if (probe.waitForConnected(1000)) {
            probe.write(messageText().toUtf8() + '\n');
            probe.waitForBytesWritten(1000);
            // Wait until the first instance has read the message (it closes the socket).
            probe.waitForDisconnected(2000);
            return false;
        }
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        // A socket left behind by an instance that crashed: nobody answers on it.
        QLocalServer::removeServer(name_);
        if (!server_->listen(name_)) {
            // Without a guard the program still runs; it just cannot be found by a second start.
            delete server_;
            server_ = nullptr;
            return true;
        }
    }
    connect(server_, &QLocalServer::newConnection, this, &TSingleInstance::onConnection);
    return true;
}

void TSingleInstance::onConnection()
{
    while (QLocalSocket *s = server_->nextPendingConnection()) {
        connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        auto handle = [this, s] {
            if (!s->canReadLine())
                return;
            const QByteArray line = s->readLine().trimmed();
            s->disconnectFromServer();
            if (line == messageText().toUtf8()) {
                activateWindow(window_);
                emit activationRequested();
            }
        };
        connect(s, &QLocalSocket::readyRead, this, handle);
        handle(); // the message may already be waiting
    }
}

void TSingleInstance::activateWindow(QWidget *w)
{
    if (!w)
        return;
    if (w->isMinimized())
        w->setWindowState((w->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    w->show();
    w->raise();
    w->activateWindow();
}
