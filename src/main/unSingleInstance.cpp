#include "main/unSingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QWidget>

#include <QFile>
#include <QScopeGuard>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

QString TSingleInstance::guardName() { return QStringLiteral("Arvendel {6D64CA16-BB57-4F53-AA0D-57BBC9253CFE}"); }

QString TSingleInstance::messageText() { return QStringLiteral("Arvendel {28767137-A9E2-4279-B7FE-7BF7FB44A998}"); }

namespace {
// A folder only this user can enter: the runtime folder when it is ours, private and not a
// link, else /tmp/arvendel-<uid> made (or found) with the same properties. Empty when
// neither can be had; the program then runs without a guard rather than in a shared place.
bool privateFolder(const QString &path)
{
    struct stat st {};
    const QByteArray p = QFile::encodeName(path);
    if (::lstat(p.constData(), &st) != 0) {
        if (errno != ENOENT || ::mkdir(p.constData(), 0700) != 0 || ::lstat(p.constData(), &st) != 0)
            return false;
    }
    return S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

QString socketFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty() && privateFolder(runtime))
        return runtime;
    const QString own = QDir(QDir::tempPath()).filePath(QStringLiteral("arvendel-") + QString::number(::getuid()));
    return privateFolder(own) ? own : QString();
}

// A client may send at most this much without a newline before it is dropped.
constexpr qint64 MaxMessageBytes = 512;
} // namespace

TSingleInstance::TSingleInstance(const QString &name, QObject *parent) : QObject(parent)
{
    QString n = name;
    if (n.isEmpty())
        n = qEnvironmentVariable("ARV_INSTANCE_NAME");
    if (n.isEmpty())
        n = guardName();
    const QString folder = socketFolder();
    name_ = folder.isEmpty() ? QString() : QDir(folder).filePath(n);
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
    if (name_.isEmpty())
        return true;  // no private folder: run unguarded
    // One start at a time decides who is first: two programs started at the same moment
    // must not both find nobody and then take the socket from each other.
    const QByteArray lockPath = QFile::encodeName(name_ + QStringLiteral(".lock"));
    const int lockFd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd >= 0)
        ::flock(lockFd, LOCK_EX);
    auto unlock = qScopeGuard([lockFd] {
        if (lockFd >= 0)
            ::close(lockFd);  // closing releases the lock
    });
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
        // A socket left behind by an instance that crashed: nobody answered on it above, and
        // the lock keeps a starting instance from being behind it.
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
        // A client that never finishes its line is dropped after a short while or once it
        // has sent more than any message is long.
        QTimer::singleShot(3000, s, [s] { s->abort(); });
        auto handle = [this, s] {
            if (!s->canReadLine()) {
                if (s->bytesAvailable() > MaxMessageBytes)
                    s->abort();
                return;
            }
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
