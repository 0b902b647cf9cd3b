// The single-instance guard against its hostile neighbours: its socket sits in a folder only
// the user can enter, two programs started at the same moment leave exactly one running
// whose socket answers, and a client that never ends its line is dropped.
#include "mainwindow_support.h"

#include "main/unSingleInstance.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace mwtest;

TEST(SingleInstanceGuard, SocketLivesInAFolderOnlyTheUserEnters)
{
    TSingleInstance guard(QStringLiteral("arvendel-folder-%1").arg(QCoreApplication::applicationPid()));
    ASSERT_FALSE(guard.serverName().isEmpty());
    struct stat st {};
    const QByteArray folder = QFile::encodeName(QFileInfo(guard.serverName()).absolutePath());
    ASSERT_EQ(::lstat(folder.constData(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, ::getuid());
    EXPECT_EQ(st.st_mode & 077, 0u) << std::oct << st.st_mode;
}

TEST(SingleInstanceGuard, TwoSimultaneousStartsLeaveOneRunningThatAnswers)
{
    const QString name = QStringLiteral("arvendel-race-%1").arg(QCoreApplication::applicationPid());
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ARV_INSTANCE_NAME", name);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ARV_SETTINGS_FILE", dir.filePath("settings.ini"));
    QProcess a, b;
    for (QProcess *p : {&a, &b}) {
        p->setProcessEnvironment(env);
        p->start(qEnvironmentVariable("ARV_BINARY_DIR") + "/src/app/arvendel", {});
    }
    ASSERT_TRUE(a.waitForStarted(10000) && b.waitForStarted(10000));
    // One of them ends (it asked the other to come to the front); the other stays.
    ASSERT_TRUE(waitFor([&] { return a.state() == QProcess::NotRunning || b.state() == QProcess::NotRunning; }, 30000));
    QProcess &ended = a.state() == QProcess::NotRunning ? a : b;
    QProcess &running = &ended == &a ? b : a;
    EXPECT_EQ(ended.exitCode(), 0);
    waitFor([&] { return false; }, 500);
    EXPECT_EQ(running.state(), QProcess::Running);
    TSingleInstance probe(name);
    QLocalSocket socket;
    socket.connectToServer(probe.serverName());
    EXPECT_TRUE(socket.waitForConnected(3000)) << "the instance that stayed does not answer";
    socket.abort();
    running.kill();
    running.waitForFinished(10000);
}

TEST(SingleInstanceGuard, ClientWithoutNewlineIsDroppedAndTheGuardStillAnswers)
{
    TSingleInstance guard(QStringLiteral("arvendel-flood-%1").arg(QCoreApplication::applicationPid()));
    ASSERT_TRUE(guard.claim());
    QLocalSocket flood;
    flood.connectToServer(guard.serverName());
    ASSERT_TRUE(flood.waitForConnected(2000));
    flood.write(QByteArray(64 * 1024, 'x'));
    flood.flush();
    EXPECT_TRUE(waitFor([&] { return flood.state() == QLocalSocket::UnconnectedState; }, 5000));

    QSignalSpy activated(&guard, &TSingleInstance::activationRequested);
    QLocalSocket good;
    good.connectToServer(guard.serverName());
    ASSERT_TRUE(good.waitForConnected(2000));
    good.write(TSingleInstance::messageText().toUtf8() + '\n');
    good.flush();
    EXPECT_TRUE(waitFor([&] { return activated.count() == 1; }, 5000));
}
