#include "main/unDomainTree.h"

#include "platform/adsi/adserror.h"
#include "platform/adsi/adspath.h"
#include "platform/registry/registry.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <limits>

namespace mainwin {

namespace {

const QString kNetbiosSeparator = QStringLiteral("|qel|");

// Win32 errors the extended error reports for the usual connection failures.
constexpr std::uint32_t kErrLogonFailure = 1326;
constexpr std::uint32_t kErrServerDown = 8250;
constexpr std::uint32_t kErrAuthUnknown = 8234;
constexpr std::uint32_t kErrStrongerAuth = 8232;
constexpr std::uint32_t kErrConfidentiality = 8237;
constexpr std::uint32_t kErrInappropriateAuth = 8233;
constexpr std::uint32_t kErrTimeout = 1460;
constexpr std::uint32_t kErrAccessDenied = 5;

QString plainWords(std::uint32_t error, const QString &extended)
{
    const QString ext = extended.toLower();
    switch (error) {
    case kErrLogonFailure:
        return QStringLiteral("The server rejected the user name or the password. Check them in "
                              "Options > Connection > Credentials (the user name as DOMAIN\\user).");
    case kErrServerDown:
        if (ext.contains(QLatin1String("certificate")) || ext.contains(QLatin1String("tls")))
            return QStringLiteral("The server's certificate is not trusted, so no encrypted connection "
                                  "was made. Trust the domain's CA: name its certificate file in "
                                  "TLS_CACERT of /etc/ldap/ldap.conf or in LDAPTLS_CACERT, or add it to "
                                  "the system's store (update-ca-certificates).");
        return QStringLiteral("The server could not be reached. Check the server name and the port, "
                              "and that the domain controller is running.");
    case kErrAuthUnknown:
    case kErrInappropriateAuth:
        if (ext.contains(QLatin1String("ticket")) || ext.contains(QLatin1String("credential")) ||
            ext.contains(QLatin1String("kerberos")) || ext.contains(QLatin1String("gss")))
            return QStringLiteral("Kerberos authentication failed: there is no valid ticket for this "
                                  "domain. Run kinit, or use explicit credentials.");
        return QStringLiteral("The server did not accept the authentication method. Try it with or "
                              "without Secure Authentication.");
    case kErrStrongerAuth:
    case kErrConfidentiality:
        return QStringLiteral("The server requires a protected connection for this logon. Turn on "
                              "encryption or Secure Authentication.");
    case kErrTimeout:
        return QStringLiteral("The server did not answer in time.");
    case kErrAccessDenied:
        return QStringLiteral("The account may not read this part of the directory.");
    default:
        return QString();
    }
}

QString canonicalAfterBind(QString text)
{
    // The directory's texts end with a line break; keep one paragraph break before ours.
    while (text.endsWith(u'\n') || text.endsWith(u'\r'))
        text.chop(1);
    return text;
}

QString readText(const ads::ObjectPtr &o, const QString &name)
{
    QVariant v;
    if (ads::failed(o->Get(name, &v)))
        return QString();
    if (v.typeId() == QMetaType::QVariantList)
        return v.toList().value(0).toString();
    return v.toString();
}

// One value of the connection's RootDSE; raises when RootDSE cannot be bound.
QString rootDseText(const QString &name)
{
    ads::ObjectPtr rootDse;
    CheckADSIResult(OpenWithContext(QStringLiteral("RootDSE"), &rootDse));
    return readText(rootDse, name);
}

// Enumerates a container's children one at a time; raises on a failed enumeration.
template <typename Visit>
void forEachChild(const ads::ObjectPtr &container, Visit visit)
{
    std::unique_ptr<ads::Enumerator> e;
    CheckADSIResult(ads::ADsBuildEnumerator(container, &e));
    for (;;) {
        ads::ObjectPtr child;
        const ads::HRESULT hr = e->Next(&child);
        CheckADSIResult(hr);
        if (hr != ads::S_OK || !child)
            break;
        visit(child);
    }
}

} // namespace

QString explainConnectError(const QString &directoryText)
{
    std::uint32_t error = 0;
    QString extended, provider;
    ads::ADsGetLastError(&error, &extended, &provider);
    const QString plain = plainWords(error, extended);
    const QString own = canonicalAfterBind(directoryText);
    if (plain.isEmpty())
        return own;
    return plain + QStringLiteral("\r\n\r\n") + own;
}

bool testBind(const TConnectionSettings &settings, QString *error)
{
    ads::ADsSetLastError(0, QString());
    const QString e = TestConnectionSettings(settings);
    if (e.isEmpty())
        return true;
    if (error)
        *error = explainConnectError(e);
    return false;
}

bool applySettings(const TConnectionSettings &settings, QString *error)
{
    ads::ADsSetLastError(0, QString());
    QString e;
    if (ApplyConnectionSettings(settings, &e))
        return true;
    if (error)
        *error = explainConnectError(e);
    return false;
}

QString connectedCaption(const TConnectionContext &ctx)
{
    return QStringLiteral("Arvendel  [Server:") + ctx.DcHostName + QStringLiteral("] [Domain:") +
           ctx.DefaultNamingContext + QStringLiteral("]");
}

QString rootNodeText(const QString &canonicalName)
{
    QString t = canonicalName;
    if (t.endsWith(u'/'))
        t.chop(1);
    return t;
}

ads::ObjectPtr bindRootDse(const TConnectionSettings &settings, QString *error)
{
    ads::ADsSetLastError(0, QString());
    ads::ObjectPtr rootDse;
    try {
        OpenRootDSE(settings, rootDse);
    } catch (const Exception &e) {
        if (error)
            *error = explainConnectError(e.Message());
        return nullptr;
    }
    return rootDse;
}

QStringList loadNetBiosDomains()
{
    QStringList out;
    const QString config = rootDseText(QStringLiteral("configurationNamingContext"));
    ads::ObjectPtr partitions;
    CheckADSIResult(OpenWithContext(QStringLiteral("CN=Partitions,") + config, &partitions,
                                    QString::fromLatin1(ads::IID_IADsContainer)));
    forEachChild(partitions, [&out](const ads::ObjectPtr &child) {
        const QStringList names = {QStringLiteral("nETBIOSName"), QStringLiteral("nCName")};
        if (ads::failed(child->GetInfoEx(names)))
            return;
        QVariant netbios, nc;
        if (ads::failed(child->Get(names[0], &netbios)) || ads::failed(child->Get(names[1], &nc)))
            return;
        out << netbios.toString() + kNetbiosSeparator + nc.toString();
    });
    return out;
}

QStringList exchangeSchemaTest()
{
    const QString base = ConnectionContext().ServerPrefix + rootDseText(QStringLiteral("schemaNamingContext"));

    TQelADSISearching s;
    s.setAttributes(QStringLiteral("lDAPDisplayName, distinguishedName"));
    s.setADsPath(base);
    s.setSearchScope(1);
    ApplyContextCredentials(s);
    s.setFilter(QStringLiteral("(&(objectCategory=attributeSchema)(cn=ms-Exch-Home-MDB))"));
    s.setSizeLimit(0);
    s.setPageSize(100);
    s.setAsynchronous(false);
    s.ExecuteSearch();
    QStringList names;
    QVariant row;
    s.GetFirstRow(row);
    while (row.isValid()) {
        const QString n = row.toList().value(0).toString();
        if (!n.isEmpty() && !names.contains(n))
            names << n;
        s.GetNextRow(row);
    }
    s.CloseSearch();
    return names;
}

bool hasHomeMdb(const QStringList &attributeNames)
{
    return attributeNames.contains(QStringLiteral("homeMDB"), Qt::CaseInsensitive);
}

ads::ObjectPtr bindDomain()
{
    ads::ObjectPtr domain;
    CheckADSIResult(OpenWithContext(ConnectionContext().DefaultNamingContext, &domain));
    return domain;
}

DomainTree loadDomainTree(const ads::ObjectPtr &domainObject)
{
    DomainTree tree;
    CheckADSIResult(domainObject->GetInfoEx({QStringLiteral("canonicalName"), QStringLiteral("distinguishedName")}));
    QVariant canonical;
    CheckADSIResult(domainObject->Get(QStringLiteral("canonicalName"), &canonical));
    if (canonical.typeId() == QMetaType::QVariantList)
        canonical = canonical.toList().value(0);

    const TConnectionContext &ctx = ConnectionContext();
    ads::ObjectPtr container;
    CheckADSIResult(OpenADsObject(domainObject->ADsPath(), ctx.UserName, ctx.Password, &container,
                                  QString::fromLatin1(ads::IID_IADsContainer), ctx.AuthFlags, ctx.UseCredentials));

    tree.root.text = rootNodeText(canonical.toString());
    tree.root.path = domainObject->ADsPath();
    tree.root.image = kRootImage;

    container->put_Hints({QStringLiteral("distinguishedName, canonicalName")});
    // The class filter lets the three kinds of node the tree shows through; a filter of
    // "Container" alone would hide every organizational unit below the domain root.
    container->put_Filter({QStringLiteral("Container"), QStringLiteral("organizationalUnit"),
                           QStringLiteral("msExchSystemObjectsContainer")});
    forEachChild(container, [&tree](const ads::ObjectPtr &child) {
        const QString cls = child->Class();
        if (cls.compare(QLatin1String("Container"), Qt::CaseInsensitive) != 0 &&
            cls.compare(QLatin1String("organizationalUnit"), Qt::CaseInsensitive) != 0 &&
            cls.compare(QLatin1String("msExchSystemObjectsContainer"), Qt::CaseInsensitive) != 0)
            return;
        CheckADSIResult(child->GetInfoEx({QStringLiteral("name"), QStringLiteral("distinguishedName")}));
        tree.children.append({readText(child, QStringLiteral("name")), child->ADsPath(), kContainerImage});
    });
    return tree;
}

QList<TreeNodeInfo> loadChildContainers(const QString &nodePath)
{
    QList<TreeNodeInfo> out;
    TQelADSISearching s;
    s.setAttributes(QStringLiteral("cn, distinguishedName, ou"));
    s.setADsPath(nodePath);
    s.setSearchScope(1);
    ApplyContextCredentials(s);
    s.setFilter(QStringLiteral("(|(&(objectClass=Container)(objectCategory=Container))"
                               "(&(objectClass=organizationalUnit)(objectCategory=organizationalUnit)))"));
    s.setSizeLimit(0);
    s.setPageSize(100);
    s.ExecuteSearch();
    QVariant row;
    s.GetFirstRow(row);
    while (row.isValid()) {
        const QVariantList cols = row.toList();
        auto text = [](const QVariant &v) {
            return v.typeId() == QMetaType::QVariantList ? v.toList().value(0).toString() : v.toString();
        };
        QString name = text(cols.value(0));
        if (name.isEmpty())
            name = text(cols.value(2));
        out.append({name, ConnectionContext().ServerPrefix + ads::escapePathDn(text(cols.value(1))), kContainerImage});
        s.GetNextRow(row);
    }
    s.CloseSearch();
    return out;
}

bool readDomainFacts(const QString &folder, QHash<QString, QString> *facts, QString *error)
{
    QFile f(QDir(folder).filePath(QStringLiteral("facts.env")));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        if (error)
            *error = QStringLiteral("The demo domain's facts file %1 could not be read (%2). Start the domain "
                                    "with tests/domain/testdomain.sh up --dir %3 first.")
                         .arg(f.fileName(), f.errorString(), folder);
        return false;
    }
    QTextStream in(&f);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        const qsizetype eq = line.indexOf(u'=');
        if (line.trimmed().startsWith(u'#') || eq <= 0)
            continue;
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && (value.startsWith(u'"') || value.startsWith(u'\'')) && value.endsWith(value.front()))
            value = value.mid(1, value.size() - 2);
        facts->insert(line.left(eq).trimmed(), value);
    }
    return true;
}

bool prepareDemo(const QString &folder, QString *error)
{
    QHash<QString, QString> facts;
    if (!readDomainFacts(folder, &facts, error))
        return false;
    for (const char *key : {"ADDR", "ADMIN_USER", "ADMIN_PASSWORD"})
        if (facts.value(QString::fromLatin1(key)).isEmpty()) {
            if (error)
                *error = QStringLiteral("The demo domain's facts file has no %1.").arg(QString::fromLatin1(key));
            return false;
        }
    registry::setStoreFile(QDir(folder).filePath(QStringLiteral("settings.ini")));
    if (const QString ca = facts.value(QStringLiteral("CA_FILE")); !ca.isEmpty())
        qputenv("LDAPTLS_CACERT", ca.toLocal8Bit());
    if (const QString krb = facts.value(QStringLiteral("KRB5_CONFIG")); !krb.isEmpty())
        qputenv("KRB5_CONFIG", krb.toLocal8Bit());

    TConnectionSettings s;
    s.UseDefaultServer = false;
    s.ServerName = facts.value(QStringLiteral("ADDR"));
    // LDAPS, verified against the demo domain's own CA (LDAPTLS_CACERT above): the
    // administrator's password never crosses the wire in the clear.
    s.Port = facts.value(QStringLiteral("LDAPS_PORT"), QStringLiteral("636"));
    s.UseEncryption = true;
    s.SecureAuthentication = false; // a simple bind with the administrator's password, inside TLS
    s.UseKerberos = false;
    s.UseCredentials = true;
    s.RememberMe = true;
    s.UserName = facts.value(QStringLiteral("ADMIN_USER"));
    s.Password = facts.value(QStringLiteral("ADMIN_PASSWORD"));
    QString storeError;
    if (!SaveConnectionSettings(s, &storeError)) {
        if (error)
            *error = QStringLiteral("The demo's connection settings could not be stored: ") + storeError;
        return false;
    }
    return true;
}

} // namespace mainwin
