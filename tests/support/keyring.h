#pragma once
// A private desktop session for keyring tests: a D-Bus session bus of its own and, when asked,
// GNOME Keyring serving the Secret Service on it with an unlocked "login" keyring. Both are
// stopped when the object goes. The bus has no service files, so nothing else starts on it
// (no unlock prompt can be shown: a locked keyring stays locked).
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace testsupport {

class PrivateKeyring {
public:
    // withKeyring false: only the bus (a desktop without a Secret Service).
    explicit PrivateKeyring(bool withKeyring = true);
    ~PrivateKeyring();
    PrivateKeyring(const PrivateKeyring &) = delete;
    PrivateKeyring &operator=(const PrivateKeyring &) = delete;

    // Empty when everything started; otherwise what failed.
    QString error() const { return m_error; }
    // DBUS_SESSION_BUS_ADDRESS of the bus.
    QString busAddress() const { return m_address; }
    // The system environment with this session's bus (and no display).
    QProcessEnvironment environment() const;
    // Points this process at the bus (before its first D-Bus use).
    void useInThisProcess() const;

    // secret-tool lookup application Arvendel server S account A: the password, or empty.
    QString lookup(const QString &server, const QString &account) const;
    // Locks the default collection (with Python's secretstorage). Nothing can unlock it again:
    // the bus has no prompter.
    bool lock() const;

private:
    QString m_error;
    QString m_address;
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_bus;
    std::unique_ptr<QProcess> m_keyring;
};

} // namespace testsupport
