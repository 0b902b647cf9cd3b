#include "core/unConnection.h"

#include "core/unCipher.h"
#include "platform/registry/registry.h"
#include "platform/secrets/secrets.h"

#include <optional>

using namespace ads;

// --- Settings --------------------------------------------------------------------------

namespace {

// Registry value names of the stored settings, in the order they are written.
const QString kValUseCredentials = QStringLiteral("{BCBB1B83-405C-491A-A8DE-8958C27BE10E}");
const QString kValUseDefaultServer = QStringLiteral("{C40E26E3-A1D2-4582-8DD6-D40EF1E93EB3}");
const QString kValUseEncryption = QStringLiteral("{24C442D7-69EF-40F0-9E61-0B99CB3E46EF}");
const QString kValSecureAuthentication = QStringLiteral("{FDFAA39D-E130-4EC6-850D-A65FB8235162}");
const QString kValUseKerberos = QStringLiteral("{FB49AD3F-547A-47D0-A72A-142F384C705E}");
const QString kValRememberMe = QStringLiteral("{7FCAA05A-944A-477C-AA2D-FB2094D598C1}");
const QString kValServerName = QStringLiteral("{0D0F7DEB-E5CE-4367-8E05-D23791676DBD}");
const QString kValPort = QStringLiteral("{F171ABBE-1F1D-4D3E-AD05-0BB570C15862}");
const QString kValUserName = QStringLiteral("{2A24B18C-1C19-47AD-BFC4-7E3B191819B2}");
const QString kValPassword = QStringLiteral("{1A15F19F-61DB-4B0B-A118-FA8DE7FF82D9}");

QByteArray toUtf16Le(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    for (QChar c : text) {
        out.append(char(c.unicode() & 0xFF));
        out.append(char(c.unicode() >> 8));
    }
    return out;
}

// UTF-16 little-endian up to the first NUL character (or the end; an odd last byte is
// dropped).
QString fromUtf16Le(const QByteArray &bytes)
{
    QString out;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t c = char16_t(std::uint8_t(bytes[i]) | std::uint8_t(bytes[i + 1]) << 8);
        if (c == 0)
            break;
        out.append(QChar(c));
    }
    return out;
}

} // namespace

std::uint32_t GetAuthFlags(const TConnectionSettings &settings)
{
    std::uint32_t flags = settings.SecureAuthentication ? ADS_SECURE_AUTHENTICATION : ADS_SERVER_BIND;
    if (settings.UseEncryption)
        flags += ADS_USE_ENCRYPTION;
    if (settings.UseKerberos && settings.SecureAuthentication)
        flags += ADS_USE_SEALING;
    return flags;
}

namespace {
// The password of the last save without Remember Me, and the user it belongs to.
QString &sessionUser()
{
    static QString user;
    return user;
}
QString &sessionPassword()
{
    static QString password;
    return password;
}

TPasswordStore &lastStore()
{
    static TPasswordStore store;
    return store;
}

// The keyring files a password under the server the settings name (empty: the default one)
// and the account.
QString keyringServer(const TConnectionSettings &s) { return s.UseDefaultServer ? QString() : s.ServerName; }

bool wantsRememberedPassword(const TConnectionSettings &s)
{
    return s.RememberMe && s.UseCredentials && !s.UserName.isEmpty();
}
} // namespace

TPasswordStore LastPasswordStore() { return lastStore(); }

QString GetRootDSEPath(const TConnectionSettings &settings)
{
    QString path = QStringLiteral("LDAP://");
    if (!settings.UseDefaultServer && !settings.ServerName.isEmpty()) {
        path += settings.ServerName + u':';
        if (!settings.Port.isEmpty())
            path += settings.Port;
        else
            path += settings.UseEncryption ? QStringLiteral("636") : QStringLiteral("389");
    }
    if (!path.endsWith(u'/'))
        path += u'/';
    return path + QStringLiteral("RootDSE");
}

bool LoadConnectionSettings(TConnectionSettings &settings, QString *error)
{
    registry::Key key;
    if (!key.open(kConnectionKey, registry::Access::ReadWrite, true)) {
        if (error)
            *error = key.lastError();
        return false;
    }
    settings.UseCredentials = key.readBool(kValUseCredentials, settings.UseCredentials);
    settings.UseDefaultServer = key.readBool(kValUseDefaultServer, settings.UseDefaultServer);
    settings.UseEncryption = key.readBool(kValUseEncryption, settings.UseEncryption);
    settings.SecureAuthentication = key.readBool(kValSecureAuthentication, settings.SecureAuthentication);
    settings.UseKerberos = key.readBool(kValUseKerberos, settings.UseKerberos);
    settings.RememberMe = key.readBool(kValRememberMe, settings.RememberMe);
    if (const auto v = key.readBinary(kValServerName))
        settings.ServerName = fromUtf16Le(*v);
    if (const auto v = key.readString(kValPort))
        settings.Port = *v;
    if (const auto v = key.readBinary(kValUserName))
        settings.UserName = DecryptText(fromUtf16Le(*v));
    lastStore() = {};
    if (const auto v = key.readBinary(kValPassword)) {
        settings.Password = DecryptText(fromUtf16Le(*v));
        if (!settings.Password.isEmpty())
            lastStore().where = TPasswordStore::SettingsFile;
    }
    if (settings.Password.isEmpty() && wantsRememberedPassword(settings)) {
        const secrets::Result r = secrets::lookup(keyringServer(settings), settings.UserName);
        if (r.ok()) {
            settings.Password = r.password;
            lastStore().where = TPasswordStore::Keyring;
        } else {
            lastStore().note = secrets::statusText(r);
        }
    }
    // A password that was not to be remembered lives in this process only.
    if (settings.Password.isEmpty() && !sessionPassword().isEmpty() &&
        sessionUser().compare(settings.UserName, Qt::CaseInsensitive) == 0)
        settings.Password = sessionPassword();
    return true;
}

bool SaveConnectionSettings(const TConnectionSettings &settings, QString *error)
{
    // What was remembered before, to forget it in the keyring when Remember Me goes off.
    std::optional<TConnectionSettings> previous;
    if (!settings.RememberMe) {
        TConnectionSettings before;
        registry::Key old;
        if (old.open(kConnectionKey, registry::Access::Read, false)) {
            before.RememberMe = old.readBool(kValRememberMe, false);
            before.UseCredentials = old.readBool(kValUseCredentials, false);
            before.UseDefaultServer = old.readBool(kValUseDefaultServer, before.UseDefaultServer);
            if (const auto v = old.readBinary(kValServerName))
                before.ServerName = fromUtf16Le(*v);
            if (const auto v = old.readBinary(kValUserName))
                before.UserName = DecryptText(fromUtf16Le(*v));
            previous = before;
        }
    }
    registry::Key key;
    bool ok = key.open(kConnectionKey, registry::Access::ReadWrite, true);
    ok = ok && key.writeInt(kValUseCredentials, settings.UseCredentials ? 1 : 0);
    ok = ok && key.writeInt(kValUseDefaultServer, settings.UseDefaultServer ? 1 : 0);
    ok = ok && key.writeInt(kValUseEncryption, settings.UseEncryption ? 1 : 0);
    ok = ok && key.writeInt(kValSecureAuthentication, settings.SecureAuthentication ? 1 : 0);
    ok = ok && key.writeInt(kValUseKerberos, settings.UseKerberos ? 1 : 0);
    ok = ok && key.writeInt(kValRememberMe, settings.RememberMe ? 1 : 0);
    ok = ok && key.writeBinary(kValServerName, toUtf16Le(settings.ServerName));
    ok = ok && key.writeString(kValPort, settings.Port);
    ok = ok && key.writeBinary(kValUserName, toUtf16Le(EncryptText(settings.UserName)));
    // The password is kept only when the user asked for it (Remember Me): in the keyring,
    // or obfuscated in the file where no keyring answers; otherwise it is kept for this session
    // and a password remembered before is removed.
    TPasswordStore stored;
    if (settings.RememberMe && !settings.Password.isEmpty()) {
        const secrets::Result r = secrets::store(keyringServer(settings), settings.UserName, settings.Password);
        stored.note = secrets::statusText(r);
        if (r.status == secrets::Status::NoService) {
            ok = ok && key.writeBinary(kValPassword, toUtf16Le(EncryptText(settings.Password)));
            stored.where = TPasswordStore::SettingsFile;
        } else {
            // In the keyring, or (locked, refused, no answer) for this session only: never in
            // the file while a keyring is there; a password stored there before moves out.
            if (ok && key.valueExists(kValPassword))
                ok = key.deleteValue(kValPassword);
            stored.where = r.ok() ? TPasswordStore::Keyring : TPasswordStore::Session;
        }
    } else {
        if (ok && key.valueExists(kValPassword))
            ok = key.deleteValue(kValPassword);
        if (!settings.RememberMe && previous && previous->RememberMe && previous->UseCredentials)
            secrets::remove(keyringServer(*previous), previous->UserName);
    }
    if (settings.RememberMe && stored.where != TPasswordStore::Session) {
        sessionUser().clear();
        sessionPassword().clear();
    } else {
        sessionUser() = settings.UserName;
        sessionPassword() = settings.Password;
    }
    lastStore() = stored;
    ok = ok && key.flush();
    if (!ok && error)
        *error = key.lastError().isEmpty() ? QStringLiteral("The connection settings could not be saved.")
                                           : key.lastError();
    return ok;
}

QString PrefillCredentialsUserName(const QString &userName, const QString &browsedDomain)
{
    if (userName.trimmed().isEmpty() && !browsedDomain.isEmpty())
        return browsedDomain + u'\\';
    return userName;
}

