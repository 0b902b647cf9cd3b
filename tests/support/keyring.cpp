#include "support/keyring.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

namespace testsupport {

namespace {

const char kBusConfig[] = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%1/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

QString run(const QString &program, const QStringList &args, const QProcessEnvironment &env, int *exitCode = nullptr)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.closeWriteChannel();
    if (!p.waitForFinished(20000))
        p.kill();
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

PrivateKeyring::PrivateKeyring(bool withKeyring)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    QFile conf(m_dir.filePath(QStringLiteral("bus.conf")));
    if (!conf.open(QIODevice::WriteOnly) || conf.write(QString::fromLatin1(kBusConfig).arg(m_dir.path()).toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write the bus configuration");
        return;
    }
    conf.close();
    m_bus = std::make_unique<QProcess>();
    m_bus->start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + conf.fileName(), QStringLiteral("--nofork"),
                                                 QStringLiteral("--print-address")});
    if (!m_bus->waitForStarted(10000) || !m_bus->waitForReadyRead(10000)) {
        m_error = QStringLiteral("dbus-daemon did not start (package dbus-daemon)");
        return;
    }
    m_address = QString::fromUtf8(m_bus->readLine()).trimmed();
    if (!withKeyring)
        return;

    for (const char *sub : {"home", "run"})
        QDir(m_dir.path()).mkpath(QLatin1String(sub));
    QFile::setPermissions(m_dir.filePath(QStringLiteral("run")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("home/.local/share")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("home/.config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("run")));
    m_keyring = std::make_unique<QProcess>();
    m_keyring->setProcessEnvironment(env);
    m_keyring->start(QStringLiteral("gnome-keyring-daemon"),
                     {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    if (!m_keyring->waitForStarted(10000)) {
        m_error = QStringLiteral("gnome-keyring-daemon did not start (package gnome-keyring)");
        return;
    }
    // The login keyring's password, on standard input as the daemon reads it.
    m_keyring->write("arvendel-test-keyring");
    m_keyring->waitForBytesWritten(5000);  // no event loop runs here to send it later
    m_keyring->closeWriteChannel();
    // Ready when it owns the Secret Service's name on the bus.
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        const QString owned = run(QStringLiteral("dbus-send"),
                                  {QStringLiteral("--bus=") + m_address, QStringLiteral("--print-reply"),
                                   QStringLiteral("--dest=org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                   QStringLiteral("org.freedesktop.DBus.NameHasOwner"), QStringLiteral("string:org.freedesktop.secrets")},
                                  environment());
        if (owned.contains(QLatin1String("boolean true")))
            return;
        QThread::msleep(50);
    }
    m_error = QStringLiteral("gnome-keyring-daemon did not take the Secret Service name: ") +
              QString::fromUtf8(m_keyring->readAllStandardError());
}

PrivateKeyring::~PrivateKeyring()
{
    for (QProcess *p : {m_keyring.get(), m_bus.get()}) {
        if (p && p->state() != QProcess::NotRunning) {
            p->terminate();
            if (!p->waitForFinished(5000)) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }
}

QProcessEnvironment PrivateKeyring::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

void PrivateKeyring::useInThisProcess() const
{
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
}

QString PrivateKeyring::lookup(const QString &server, const QString &account) const
{
    return run(QStringLiteral("secret-tool"),
               {QStringLiteral("lookup"), QStringLiteral("application"), QStringLiteral("Arvendel"), QStringLiteral("server"),
                server, QStringLiteral("account"), account},
               environment());
}

bool PrivateKeyring::lock() const
{
    int rc = -1;
    run(QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"), QStringLiteral("import secretstorage\n"
                                              "c = secretstorage.dbus_init()\n"
                                              "col = secretstorage.get_default_collection(c)\n"
                                              "col.lock()\n"
                                              "assert col.is_locked()\n")},
        environment(), &rc);
    return rc == 0;
}

} // namespace testsupport
