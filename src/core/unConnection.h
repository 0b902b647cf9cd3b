#pragma once
// How the program reaches the directory: the stored connection settings, the bind that
// tests them, the process-wide connection context derived at connect time, and the cached
// name translator.
//
// Typical connect (what the main window does):
//   TConnectionSettings s;  LoadConnectionSettings(s);
//   TConnectResult r = ConnectWithSettings(s, askCredentials);   // raises EADSIException
//   ... ConnectionContext().DomainPath ...
//   DisconnectContext();
// The dialogs call TestConnectionSettings / ApplyConnectionSettings.
#include "core/unSearch.h"
#include "platform/adsi/adsobject.h"
#include "platform/adsi/adstypes.h"

#include <QMutex>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

// --- Settings --------------------------------------------------------------------------

struct TConnectionSettings {
    bool UseCredentials = false;       // bind with explicit user name and password
    bool UseDefaultServer = true;      // let the system choose the server
    bool UseEncryption = false;        // LDAPS
    bool SecureAuthentication = true;  // Kerberos
    bool UseKerberos = false;          // request sealing (only with SecureAuthentication)
    bool RememberMe = false;           // the password is stored only when set (else kept for the session)
    QString ServerName;
    QString Port = QStringLiteral("389");  // digits; empty means the default port
    QString UserName;                  // DOMAIN\user
    QString Password;
};

// ADS_SERVER_BIND (0x200), or ADS_SECURE_AUTHENTICATION (1) when SecureAuthentication;
// + ADS_USE_ENCRYPTION (2) when UseEncryption; + ADS_USE_SEALING (0x80) when UseKerberos
// together with SecureAuthentication.
std::uint32_t GetAuthFlags(const TConnectionSettings &settings);

// "LDAP://RootDSE" for the default server, else "LDAP://server:port/RootDSE" (port 636 with
// encryption, else 389, when Port is empty).
QString GetRootDSEPath(const TConnectionSettings &settings);

// Binds path with GetAuthFlags(settings); the user name and password go along only when
// UseCredentials is set and both are non-empty. Returns the status, never raises.
ads::HRESULT OpenWithSettings(const QString &path, const TConnectionSettings &settings,
                              const QString &interfaceId, ads::ObjectPtr *object);

// Binds the RootDSE of the settings; raises EADSIException with the directory's text.
void OpenRootDSE(const TConnectionSettings &settings, ads::ObjectPtr &object);

// The registry key of the stored settings.
inline const QString kConnectionKey = QStringLiteral("\\Software\\Vastrel\\Pordex\\Connection");

// Reads the stored settings into settings; a value that is missing or of another type
// leaves its field as it was; an undecipherable user name or password loads as empty.
// A remembered password comes from the desktop's keyring (platform/secrets), or from the
// obfuscated value of the settings file where it is kept there (written before the keyring
// was used, or where no keyring answers). False (with error) only when the settings store
// cannot be opened.
bool LoadConnectionSettings(TConnectionSettings &settings, QString *error = nullptr);
// Writes the settings. With Remember Me the password goes into the keyring and the settings
// file holds none (a password stored there before is removed); only where no keyring answers
// is it written obfuscated to the file, as before. A keyring that stays locked keeps the
// password for this session only. Without Remember Me a password remembered before is
// removed from the keyring and the file. False (with error) when the store cannot be written.
bool SaveConnectionSettings(const TConnectionSettings &settings, QString *error = nullptr);

// Where the last load found, or the last save kept, the remembered password, with a sentence
// for the user when the keyring could not be used (empty otherwise).
struct TPasswordStore {
    enum Where { Nowhere, Keyring, SettingsFile, Session } where = Nowhere;
    QString note;
};
TPasswordStore LastPasswordStore();

// --- What the two connection dialogs do, without the widgets ---------------------------

// The message the dialogs show after a successful test bind.
inline const QString kConnectionOkText = QStringLiteral("Connection is OK");
// The test bind (OpenRootDSE): empty on success, else the directory's error text.
QString TestConnectionSettings(const TConnectionSettings &settings);
// Apply: the test bind first; only when it succeeds are the settings saved. Returns false
// with the error text (bind or store) when nothing was saved.
bool ApplyConnectionSettings(const TConnectionSettings &settings, QString *error);
// The user name the credentials dialog starts with: "DOMAIN\" when the name is blank and a
// domain was chosen in the network browser, else the name unchanged.
QString PrefillCredentialsUserName(const QString &userName, const QString &browsedDomain);

// --- Name translation ----------------------------------------------------------------------

// The name-translation object (IADsNameTranslate): converts an object's name between the
// RFC 1779 distinguished name, the canonical name ("example.com/Users/Jane"), the NT4 name
// ("EXAMPLE\jane"), the user principal name, the display name and the GUID text, by
// searching the directory it was initialised for. Used by one thread at a time; its searches
// run on the calling thread's connections.
class TNameTranslate {
public:
    enum InitType { ADS_NAME_INITTYPE_DOMAIN = 1, ADS_NAME_INITTYPE_SERVER = 2, ADS_NAME_INITTYPE_GC = 3 };
    enum NameType {
        ADS_NAME_TYPE_1779 = 1,
        ADS_NAME_TYPE_CANONICAL = 2,
        ADS_NAME_TYPE_NT4 = 3,
        ADS_NAME_TYPE_DISPLAY = 4,
        ADS_NAME_TYPE_GUID = 7,
        ADS_NAME_TYPE_UNKNOWN = 8,
        ADS_NAME_TYPE_USER_PRINCIPAL_NAME = 9,
    };

    TNameTranslate();
    ~TNameTranslate();

    // Binds the RootDSE of a domain (DNS name) or server with the current logon (Init) or
    // with explicit credentials (InitEx). The authentication flags are those of the
    // connection context (secure authentication when it has none).
    ads::HRESULT Init(int initType, const QString &name);
    ads::HRESULT InitEx(int initType, const QString &name, const QString &user,
                        const QString &domain, const QString &password);
    // Names the object to translate; E_ADS_BAD_PARAMETER for an unsupported type, the
    // directory's status when the name cannot be found (0x80072030 for no such object).
    ads::HRESULT Set(int nameType, const QString &name);
    // The object's name in another form.
    ads::HRESULT Get(int nameType, QString *name);

    // The prefix ("LDAP://server/") that Init bound.
    QString ServerPrefix() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
    ads::HRESULT init(int initType, const QString &name, const QString &user, const QString &password,
                      bool withCredentials);
};

// --- The connection context --------------------------------------------------------------

// The domain's own settings that password-expiry and last-logon conditions depend on.
struct TDomainPolicy {
    int LogonTimeSyncIntervalDays = 15;  // msDS-logonTimeSyncInterval (functionality level > 1)
    qint64 MaxPasswordAgeDays = 42;      // maxPwdAge in whole days
};

struct TConnectionContext {
    QString ServerPrefix;          // "LDAP://" [server:port "/"]
    QString DomainPath;            // ServerPrefix + DefaultNamingContext
    QString DefaultNamingContext;
    QString DcHostName;
    QString DcShortName;
    QString DnsDomainName;
    int DomainFunctionality = 0;
    bool UseCredentials = true;
    QString UserName;
    QString Password;
    std::uint32_t AuthFlags = 0;
    std::shared_ptr<TNameTranslate> NameTranslator;
    TDomainPolicy Policy;          // read by LoadDomainPolicy once the domain is bound
};

// The process-wide context. Written only by the connect sequence and DisconnectContext;
// read by every window and worker. Empty (disconnected) until the first connect. Readers
// take no lock: workers run only while a connection stands (the main window waits for them
// before it disconnects or connects again).
TConnectionContext &ConnectionContext();
// A copy of the context taken under its lock: what worker threads read.
TConnectionContext ConnectionContextSnapshot();

// Copies the context's credentials and flags into a search (of the published context, or of
// a snapshot a worker took when it was made).
void ApplyContextCredentials(TQelADSISearching &search);
void ApplyContextCredentials(TQelADSISearching &search, const TConnectionContext &context);
// Binds ServerPrefix + dn with the context's credentials and flags (OpenADsObject).
ads::HRESULT OpenWithContext(const QString &dn, ads::ObjectPtr *object,
                             const QString &interfaceId = QString::fromLatin1(ads::IID_IADs));

// Raised when the RootDSE bind of a connect fails (the main window then offers the
// "Connection" dialog); carries the directory's text.
class ERootDSEBindException : public EADSIException {
public:
    using EADSIException::EADSIException;
};

struct TConnectResult {
    ads::ObjectPtr RootDse;
    ads::ObjectPtr DomainObject;
};

// The connect sequence. When UseCredentials is set and the user name or password is empty,
// askCredentials (the "Credentials" dialog) is called with the settings to fill in; it
// returns false on Cancel, and the connect goes on with what is there. Then RootDSE is bound
// (failure: ERootDSEBindException), the context derived (no default naming context:
// EADSIException "Could not bind to default Domain Controler") and the domain bound
// (failure: EADSIException). The context is published only when every step succeeded.
TConnectResult ConnectWithSettings(TConnectionSettings &settings,
                                   const std::function<bool(TConnectionSettings &)> &askCredentials = {});

// The context fields a bound RootDSE gives for these settings (steps 3 to 7 of connecting),
// without publishing them. Raises EADSIException when RootDSE has no default naming context.
TConnectionContext DeriveConnectionContext(const ads::ObjectPtr &rootDse,
                                           const TConnectionSettings &settings);
// Publishes a derived context as the process-wide one (and to the value operations,
// SetDirectoryAccess).
void PublishConnectionContext(const TConnectionContext &context);

// maxPwdAge (negative 100-ns units) in whole days, truncated; 42 when it is not a number.
qint64 MaxPasswordAgeDays(const QVariant &maxPwdAge);
// Reads the domain's policy from the bound domain object (maxPwdAge, and above functionality
// level 1 msDS-logonTimeSyncInterval; unreadable values keep the defaults) into the published
// context: the one place that every filter builder, Find User and listing takes them from.
// ConnectWithSettings calls it; the main window calls it when it binds the domain.
void LoadDomainPolicy(const ads::ObjectPtr &domainObject);

// Clears the context (texts empty, AuthFlags 0, UseCredentials true, the name translator
// released) and the value operations' copy of it, clears the process-wide name caches
// (schema GUID names, extended rights, groups) under the process lock, runs the registered
// disconnect handlers and closes the pooled directory connections.
void DisconnectContext();
// Registers a function run by every DisconnectContext (for example clearing a cache).
void AddDisconnectHandler(std::function<void()> handler);

// The cached name translator of the context, created on first use: with a user name in the
// context, InitEx on DnsDomainName (domain), then DcHostName and DcShortName (server) with the
// user's domain, name and password; without one, Init on the same three. Null when all fail.
std::shared_ptr<TNameTranslate> GetNameTranslator();
