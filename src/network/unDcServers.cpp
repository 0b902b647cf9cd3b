#include "network/unDcServers.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "platform/adsi/adspath.h"
#include "platform/netenum/netenum.h"
#include "platform/office/workbook.h"
#include "query/filtercompose.h"

#include <QHostAddress>

#include <QScopeGuard>

namespace {

QString textOf(const QVariant &v)
{
    if (v.typeId() == QMetaType::QVariantList) {
        const QVariantList l = v.toList();
        return l.isEmpty() ? QString() : textOf(l.first());
    }
    if (v.canConvert<ads::AdsDate>() && v.typeId() == qMetaTypeId<ads::AdsDate>())
        return QString();  // not expected from RootDSE: its values are text
    return v.toString();
}

bool readText(const ads::ObjectPtr &o, const QString &name, QString *out)
{
    QVariant v;
    if (!o || ads::failed(o->Get(name, &v)) || !v.isValid())
        return false;
    *out = textOf(v);
    return true;
}

} // namespace

TServerInfoCredentials ServerInfoCredentialsFromContext()
{
    const TConnectionContext &ctx = ConnectionContext();
    TServerInfoCredentials c;
    c.Prefix = ctx.ServerPrefix;
    c.DomainPath = ctx.DomainPath;
    c.AuthFlags = ctx.AuthFlags;
    c.Password = ctx.Password;
    c.UserName = ctx.UserName;
    c.DefaultNamingContext = ctx.DefaultNamingContext;
    c.UseCredentials = ctx.UseCredentials;
    return c;
}

QList<TDcServer> ListDcServers(const TServerInfoCredentials &c)
{
    QList<TDcServer> out;
    ads::ObjectPtr rootDse;
    CheckADSIResult(OpenADsObject(c.Prefix + QStringLiteral("RootDSE"), c.UserName, c.Password, &rootDse,
                                  QString::fromLatin1(ads::IID_IADs), c.AuthFlags, c.UseCredentials));
    QString config;
    if (!readText(rootDse, QStringLiteral("configurationNamingContext"), &config) || config.isEmpty())
        throw EADSIException(QStringLiteral("Cannot enumerate DC servers."));
    // The connection's name translator is made on first use; the listing relies on it being
    // there as the other windows do.
    if (!ConnectionContext().ServerPrefix.isEmpty())
        GetNameTranslator();

    TQelADSISearching search;
    search.setADsPath(c.Prefix + config);
    search.setSearchScope(ads::ADS_SCOPE_SUBTREE);
    search.setFilter(query::equals(QStringLiteral("objectClass"), QStringLiteral("nTDSDSA")));
    search.setAttributes(QStringLiteral("distinguishedName"));
    search.setSizeLimit(0);
    search.setPageSize(100);
    search.setUserName(c.UserName);
    search.setPassword(c.Password);
    search.setAuthFlags(int(c.AuthFlags));
    search.setUseCredentials(c.UseCredentials);
    auto closeSearch = qScopeGuard([&] { search.CloseSearch(); });
    search.ExecuteSearch();
    QVariant row;
    search.GetFirstRow(row);
    while (row.isValid()) {
        const QVariantList cols = row.toList();
        const QString dn = cols.isEmpty() ? QString() : textOf(cols.first());
        if (!dn.isEmpty()) {
            ads::ObjectPtr settings;
            CheckADSIResult(OpenADsObject(c.Prefix + dn, c.UserName, c.Password, &settings,
                                          QString::fromLatin1(ads::IID_IADs), c.AuthFlags, c.UseCredentials));
            ads::ObjectPtr server;
            CheckADSIResult(OpenADsObject(settings->Parent(), c.UserName, c.Password, &server,
                                          QString::fromLatin1(ads::IID_IADs), c.AuthFlags, c.UseCredentials));
            TDcServer s;
            if (ads::succeeded(server->GetInfoEx({QStringLiteral("distinguishedName"), QStringLiteral("cn"),
                                                   QStringLiteral("dNSHostName")})) &&
                readText(server, QStringLiteral("distinguishedName"), &s.DistinguishedName) &&
                readText(server, QStringLiteral("cn"), &s.ServerName)) {
                readText(server, QStringLiteral("dNSHostName"), &s.DnsHostName);
                out << s;
            }
        }
        search.GetNextRow(row);
    }
    return out;
}

QString ServerRootDsePath(const QString &prefix, const QString &dcShortName, const TDcServer &server,
                          bool encrypted, const std::function<QString(const QString &host)> &resolve)
{
    if (server.ServerName.compare(dcShortName, Qt::CaseInsensitive) == 0)
        return prefix + QStringLiteral("RootDSE");
    QString host = server.DnsHostName.isEmpty() ? server.ServerName : server.DnsHostName;
    // The connection's port, when its prefix names one.
    int port = 0;
    const QString rest = prefix.mid(prefix.indexOf(QLatin1String("://")) + 3);
    const QString serverPart = rest.section(QLatin1Char('/'), 0, 0);
    if (!serverPart.isEmpty() && !serverPart.startsWith(QLatin1Char('['))) {
        bool ok = false;
        const int p = serverPart.section(QLatin1Char(':'), 1).toInt(&ok);
        if (ok && p > 0)
            port = p;
    }
    if (port == 0)
        port = encrypted ? 636 : 389;
    if (resolve) {
        const QString address = resolve(host);
        if (!address.isEmpty())
            host = address;
    }
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return QStringLiteral("LDAP://%1:%2/RootDSE").arg(host).arg(port);
}

QString ServerBindErrorText(const TDcServer &server, const QString &path, std::uint32_t authFlags,
                            ads::HRESULT status)
{
    QString text = GetADSIErrorText(status);
    ads::AdsPath parsed;
    QHostAddress address;
    if (server.DnsHostName.isEmpty() || !ads::AdsPath::parse(path, &parsed) || !address.setAddress(parsed.server))
        return text;
    // Refused by TLS (the certificate's names) or by Kerberos (no service name for the address).
    const bool tls = (authFlags & ads::ADS_USE_ENCRYPTION) && status == ads::HR_DS_SERVER_DOWN &&
                     text.contains(QLatin1String("certificate"), Qt::CaseInsensitive);
    const bool kerberos = (authFlags & ads::ADS_SECURE_AUTHENTICATION) && status == ads::hresultFromWin32(8234);
    if (!tls && !kerberos)
        return text;
    const QString host = server.DnsHostName;
    return text + QStringLiteral(" %1 was bound by its address %2, because only the configured DNS server "
                                 "(ARV_DNS_SERVER, or --dns of arvendel-cli) knows the name %3; its %4 names the host %3, not the "
                                 "address. Make %3 resolvable on this computer (the domain's DNS server in "
                                 "/etc/resolv.conf, or the line \"%2 %3\" in /etc/hosts), and it is bound by "
                                 "its name.")
                      .arg(server.ServerName, parsed.server, host,
                           tls ? QStringLiteral("certificate") : QStringLiteral("Kerberos service principal"));
}

namespace {

// The text of a known mode number, else "[Unknown Mode] " and the number (-1 for no number).
QString modeText(const QString &value, std::initializer_list<std::pair<int, const char *>> known)
{
    bool ok = false;
    const int n = value.trimmed().toInt(&ok);
    for (const auto &[number, text] : known)
        if (ok && n == number)
            return QString::fromLatin1(text);
    return QStringLiteral("[Unknown Mode] ") + QString::number(ok ? n : -1);
}

} // namespace

QString DcFunctionalityText(const QString &value)
{
    return modeText(value, {{0, "[Windows 2000 Mode]"}, {2, "[Windows Server 2003 Mode]"}});
}

QString DomainFunctionalityText(const QString &value)
{
    return modeText(value, {{0, "[Windows 2000 Domain Mode]"},
                            {1, "[Windows Server 2003 Interim Domain Mode]"},
                            {2, "[Windows Server 2003 Domain Mode]"}});
}

QList<TServerProperty> ServerPropertyRows(const ads::ObjectPtr &rootDse)
{
    enum Kind { Text, DcMode, DomainMode, Multi };
    static const struct {
        const char *attribute;
        const char *caption;
        Kind kind;
    } table[] = {
        {"configurationNamingContext", "Configuration Naming Context", Text},
        {"currentTime", "Current Time", Text},
        {"dnsHostName", "Dns Host Name", Text},
        {"domainControllerFunctionality", "Domain Controller Functionality", DcMode},
        {"domainFunctionality", "Domain Functionality", DomainMode},
        {"highestCommittedUSN", "Highest Committed USN", Text},
        {"isGlobalCatalogReady", "Is Global Catalog Ready", Text},
        {"isSynchronized", "Is Synchronized", Text},
        {"namingContexts", "Naming Contexts", Multi},
        {"rootDomainNamingContext", "Root Domain Naming Context", Text},
        {"supportedCapabilities", "Supported Capabilities", Multi},
        {"supportedControl", "Supported Control", Multi},
        {"supportedLDAPPolicies", "Supported LDAP Policies", Multi},
        {"supportedLDAPVersion", "Supported LDAP Version", Multi},
        {"supportedSASLMechanisms", "Supported SASL Mechanisms", Multi},
    };
    QList<TServerProperty> rows;
    if (!rootDse)
        return rows;
    for (const auto &t : table) {
        const QString name = QString::fromLatin1(t.attribute);
        QVariant v;
        if (ads::failed(rootDse->GetEx(name, &v)) || !v.isValid())
            continue;
        const QVariantList values = v.toList();
        if (values.isEmpty())
            continue;
        TServerProperty p;
        p.Attribute = name;
        p.Caption = QString::fromLatin1(t.caption);
        for (const QVariant &x : values)
            p.Values << x.toString();
        switch (t.kind) {
        case Text: p.Value = p.Values.first(); break;
        case DcMode: p.Value = DcFunctionalityText(p.Values.first()); break;
        case DomainMode: p.Value = DomainFunctionalityText(p.Values.first()); break;
        case Multi:
            p.MultiValued = true;
            p.Value = JoinValuesBracketed(rootDse, name);
            break;
        }
        if (!p.MultiValued)
            p.Values = QStringList{p.Value};
        rows << p;
    }
    return rows;
}

QStringList ViewerLines(const TServerProperty &row)
{
    if (!row.MultiValued)
        return {row.Value};
    QStringList lines;
    const QString text = row.Value.mid(1);
    int from = 0;
    while (from < text.size()) {
        const int close = text.indexOf(QLatin1Char(']'), from);
        if (close < 0) {
            lines << text.mid(from);
            break;
        }
        lines << text.mid(from, close - from);
        from = close + 1;
        if (text.mid(from, 1) == QLatin1String("["))
            ++from;
    }
    return lines;
}

bool WriteServerPropertiesWorkbook(const QString &path, const QString &serverName, const QString &caption,
                                   const QList<TServerProperty> &rows, QString *error)
{
    office::WorkbookWriter wb(path, false);
    if (!wb.addSheet(QStringLiteral("Sheet1"), error))
        return false;
    const office::CellStyle head = office::CellStyle::boldArial10();
    wb.writeString(0, 0, serverName + QLatin1Char(' ') + caption, head);
    wb.writeString(1, 0, QStringLiteral("Attribute Name"), head);
    wb.writeString(1, 1, QStringLiteral("Attribute Value"), head);
    int r = 2;
    for (const TServerProperty &p : rows) {
        wb.writeString(r, 0, p.Caption);
        wb.writeString(r, 1, p.MultiValued ? p.Values.join(QStringLiteral("\r\n")) : p.Value);
        ++r;
    }
    wb.writeString(int(rows.size()) + 4, 0, CreatedWithText(), office::CellStyle::boldOnly());
    wb.setColumnWidth(0, 32);
    wb.setColumnWidth(1, 60);
    return wb.close(error);
}

void ShareConnectionWithNetwork()
{
    const TConnectionContext &ctx = ConnectionContext();
    if (ctx.ServerPrefix.isEmpty()) {
        netenum::clearCredentials();  // no connection: nothing is read through an old one
        return;
    }
    netenum::Credentials cred;
    cred.user = ctx.UserName;
    cred.password = ctx.Password;
    cred.authFlags = ctx.AuthFlags;
    cred.useCredentials = ctx.UseCredentials;
    cred.serverPrefix = ctx.ServerPrefix;
    netenum::setCredentials(cred);

    QStringList domains;
    if (!ctx.DnsDomainName.isEmpty())
        domains << ctx.DnsDomainName;
    try {
        ads::ObjectPtr rootDse;
        QString config;
        if (ads::succeeded(OpenWithContext(QStringLiteral("RootDSE"), &rootDse)) &&
            readText(rootDse, QStringLiteral("configurationNamingContext"), &config) && !config.isEmpty()) {
            TQelADSISearching search;
            search.setADsPath(ctx.ServerPrefix + QStringLiteral("CN=Partitions,") + config);
            search.setSearchScope(ads::ADS_SCOPE_ONELEVEL);
            // Cross-references of domains (FLAG_CR_NTDS_DOMAIN).
            search.setFilter(query::andOf({query::equals(QStringLiteral("objectClass"), QStringLiteral("crossRef")),
                                           query::bitsAllSet(QStringLiteral("systemFlags"), 2)}));
            search.setAttributes(QStringLiteral("dnsRoot"));
            ApplyContextCredentials(search);
            auto closeSearch = qScopeGuard([&] { search.CloseSearch(); });
            search.ExecuteSearch();
            QVariant row;
            search.GetFirstRow(row);
            while (row.isValid()) {
                const QVariantList cols = row.toList();
                if (!cols.isEmpty())
                    domains << textOf(cols.first()).left(253);
                search.GetNextRow(row);
            }
        }
    } catch (const Exception &) {
        // The connection's own domain is still listed.
    }
    netenum::setKnownDomains(domains);
}
