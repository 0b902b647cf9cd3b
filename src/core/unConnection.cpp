#include "core/unConnection.h"

#include "core/unValues.h"
#include "core/unValuesText.h"
#include "platform/adsi/adsconnection.h"
#include "platform/adsi/adspath.h"
#include "platform/adsi/adsvalue.h"

#include <QMutexLocker>
#include <vector>

using namespace ads;

ads::HRESULT OpenWithSettings(const QString &path, const TConnectionSettings &settings,
                              const QString &interfaceId, ads::ObjectPtr *object)
{
    return OpenADsObject(path, settings.UserName, settings.Password, object, interfaceId,
                         GetAuthFlags(settings), settings.UseCredentials);
}

void OpenRootDSE(const TConnectionSettings &settings, ads::ObjectPtr &object)
{
    object.reset();
    CheckADSIResult(OpenWithSettings(GetRootDSEPath(settings), settings,
                                     QString::fromLatin1(IID_IADs), &object));
}

// --- Dialog logic ------------------------------------------------------------------------

QString TestConnectionSettings(const TConnectionSettings &settings)
{
    try {
        ObjectPtr root;
        OpenRootDSE(settings, root);
        return {};
    } catch (const Exception &e) {
        return e.Message();
    }
}

bool ApplyConnectionSettings(const TConnectionSettings &settings, QString *error)
{
    const QString failure = TestConnectionSettings(settings);
    if (!failure.isEmpty()) {
        if (error)
            *error = failure;
        return false;
    }
    return SaveConnectionSettings(settings, error);
}

// --- The context ---------------------------------------------------------------------------

namespace {

QMutex g_contextMutex;  // guards the translator cache and the handler list
std::vector<std::function<void()>> g_disconnectHandlers;

TConnectionContext &contextInstance()
{
    static TConnectionContext ctx;
    return ctx;
}

QString readText(const ObjectPtr &obj, const char *name)
{
    QVariant v;
    if (failed(obj->Get(QString::fromLatin1(name), &v)))
        return {};
    if (v.typeId() == QMetaType::QVariantList) {
        const QVariantList l = v.toList();
        return l.isEmpty() ? QString() : l.first().toString();
    }
    return v.toString();
}

} // namespace

TConnectionContext &ConnectionContext() { return contextInstance(); }

TConnectionContext ConnectionContextSnapshot()
{
    QMutexLocker lock(&g_contextMutex);
    return contextInstance();
}

void ApplyContextCredentials(TQelADSISearching &search)
{
    // Worker threads come here too: they read a copy taken under the lock, never the
    // context while a connect or disconnect rewrites it.
    ApplyContextCredentials(search, ConnectionContextSnapshot());
}

void ApplyContextCredentials(TQelADSISearching &search, const TConnectionContext &c)
{
    search.setUserName(c.UserName);
    search.setPassword(c.Password);
    search.setAuthFlags(int(c.AuthFlags));
    search.setUseCredentials(c.UseCredentials);
}

ads::HRESULT OpenWithContext(const QString &dn, ads::ObjectPtr *object, const QString &interfaceId)
{
    const TConnectionContext c = ConnectionContextSnapshot();
    return OpenADsObject(c.ServerPrefix + escapePathDn(dn), c.UserName, c.Password, object,
                         interfaceId, c.AuthFlags, c.UseCredentials);
}

TConnectionContext DeriveConnectionContext(const ads::ObjectPtr &rootDse, const TConnectionSettings &settings)
{
    TConnectionContext ctx;
    const QString naming = readText(rootDse, "defaultNamingContext");
    if (naming.isEmpty())
        throw EADSIException(QStringLiteral("Could not bind to default Domain Controler"));
    QString path = rootDse->ADsPath();
    const qsizetype cut = path.indexOf(QStringLiteral("/RootDSE"), 0, Qt::CaseInsensitive);
    if (cut >= 0)
        path.truncate(cut);
    ctx.ServerPrefix = path + u'/';
    ctx.DefaultNamingContext = naming;
    ctx.DomainPath = ctx.ServerPrefix + escapePathDn(naming);
    ctx.DcHostName = readText(rootDse, "dnsHostName");
    const qsizetype dot = ctx.DcHostName.indexOf(u'.');
    ctx.DcShortName = dot >= 0 ? ctx.DcHostName.left(dot) : ctx.DcHostName;
    ctx.DnsDomainName = dot >= 0 ? ctx.DcHostName.mid(dot + 1) : QString();
    bool ok = false;
    const int level = readText(rootDse, "domainFunctionality").toInt(&ok);
    ctx.DomainFunctionality = ok ? level : 0;
    ctx.UseCredentials = settings.UseCredentials;
    if (settings.UseCredentials) {
        ctx.UserName = settings.UserName;
        ctx.Password = settings.Password;
    }
    ctx.AuthFlags = GetAuthFlags(settings);
    return ctx;
}

namespace {

// The value operations bind through their own copy of the access data.
void publishDirectoryAccess(const TConnectionContext &c)
{
    TDirectoryAccess a;
    a.ServerPrefix = c.ServerPrefix;
    a.DefaultNamingContext = c.DefaultNamingContext;
    a.DcShortName = c.DcShortName;
    a.UserName = c.UserName;
    a.Password = c.Password;
    a.AuthFlags = c.AuthFlags;
    a.UseCredentials = c.UseCredentials;
    SetDirectoryAccess(a);
}

} // namespace

void PublishConnectionContext(const TConnectionContext &context)
{
    {
        QMutexLocker lock(&g_contextMutex);
        contextInstance() = context;
    }
    publishDirectoryAccess(context);
}

qint64 MaxPasswordAgeDays(const QVariant &maxPwdAge)
{
    bool ok = false;
    const qint64 v = maxPwdAge.isValid() ? maxPwdAge.toLongLong(&ok) : 0;
    if (!ok)
        return 42;
    return v / -864000000000LL;
}

void LoadDomainPolicy(const ads::ObjectPtr &domainObject)
{
    TDomainPolicy policy;
    if (domainObject) {
        QVariant v;
        if (ConnectionContextSnapshot().DomainFunctionality > 1 &&
            succeeded(domainObject->GetInfoEx({QStringLiteral("msDS-logonTimeSyncInterval")})) &&
            succeeded(domainObject->Get(QStringLiteral("msDS-logonTimeSyncInterval"), &v))) {
            bool ok = false;
            const int days = v.toInt(&ok);
            policy.LogonTimeSyncIntervalDays = ok ? days : 15;
        }
        if (succeeded(domainObject->GetInfoEx({QStringLiteral("maxPwdAge")})) &&
            succeeded(domainObject->Get(QStringLiteral("maxPwdAge"), &v)))
            policy.MaxPasswordAgeDays = MaxPasswordAgeDays(v);
    }
    QMutexLocker lock(&g_contextMutex);
    contextInstance().Policy = policy;
}

TConnectResult ConnectWithSettings(TConnectionSettings &settings,
                                   const std::function<bool(TConnectionSettings &)> &askCredentials)
{
    if (settings.UseCredentials && (settings.UserName.isEmpty() || settings.Password.isEmpty()) &&
        askCredentials) {
        TConnectionSettings copy = settings;
        if (askCredentials(copy)) {
            settings.UserName = copy.UserName;
            settings.Password = copy.Password;
            settings.RememberMe = copy.RememberMe;
        }
    }
    TConnectResult result;
    try {
        OpenRootDSE(settings, result.RootDse);
    } catch (const EADSIException &e) {
        throw ERootDSEBindException(e.Message());
    }
    TConnectionContext ctx = DeriveConnectionContext(result.RootDse, settings);
    const HRESULT hr = OpenWithSettings(ctx.DomainPath, settings, QString::fromLatin1(IID_IADs),
                                        &result.DomainObject);
    CheckADSIResult(hr);
    PublishConnectionContext(ctx);
    LoadDomainPolicy(result.DomainObject);
    return result;
}

void DisconnectContext()
{
    std::vector<std::function<void()>> handlers;
    {
        QMutexLocker lock(&g_contextMutex);
        TConnectionContext cleared;
        cleared.UseCredentials = true;
        cleared.AuthFlags = 0;
        contextInstance() = cleared;
        handlers = g_disconnectHandlers;
        publishDirectoryAccess(cleared);
    }
    {
        QMutexLocker lock(&ProcessLock());
        ClearSchemaGuidNames();
        ClearExtendedRightNames();
        ClearGroupList();
    }
    for (const auto &h : handlers)
        h();
    closeAllConnections();
}

void AddDisconnectHandler(std::function<void()> handler)
{
    QMutexLocker lock(&g_contextMutex);
    g_disconnectHandlers.push_back(std::move(handler));
}

std::shared_ptr<TNameTranslate> GetNameTranslator()
{
    TConnectionContext c;
    {
        QMutexLocker lock(&g_contextMutex);
        if (contextInstance().NameTranslator)
            return contextInstance().NameTranslator;
        c = contextInstance();
    }
    auto nt = std::make_shared<TNameTranslate>();
    const struct { int type; QString name; } targets[] = {
        {TNameTranslate::ADS_NAME_INITTYPE_DOMAIN, c.DnsDomainName},
        {TNameTranslate::ADS_NAME_INITTYPE_SERVER, c.DcHostName},
        {TNameTranslate::ADS_NAME_INITTYPE_SERVER, c.DcShortName},
    };
    QString user, domain;
    if (!c.UserName.isEmpty())
        SplitDomainUser(c.UserName, user, domain);
    for (const auto &t : targets) {
        const HRESULT hr = c.UserName.isEmpty() ? nt->Init(t.type, t.name)
                                                : nt->InitEx(t.type, t.name, user, domain, c.Password);
        if (failed(hr))
            continue;
        QMutexLocker lock(&g_contextMutex);
        TConnectionContext &now = contextInstance();
        if (now.ServerPrefix != c.ServerPrefix)
            return nullptr;  // disconnected meanwhile: do not cache for another connection
        if (!now.NameTranslator)
            now.NameTranslator = nt;
        return now.NameTranslator;
    }
    return nullptr;
}

// --- Name translation ----------------------------------------------------------------------

namespace {

struct DomainEntry {
    QString netbios;
    QString ncName;
    QString dnsRoot;
};

bool dnWithin(const QString &dn, const QString &base)
{
    if (base.isEmpty())
        return false;
    return dn.compare(base, Qt::CaseInsensitive) == 0 ||
           dn.endsWith(u',' + base, Qt::CaseInsensitive);
}

QString firstText(const QVariant &v)
{
    if (v.typeId() == QMetaType::QVariantList) {
        const QVariantList l = v.toList();
        return l.isEmpty() ? QString() : l.first().toString();
    }
    return v.toString();
}

// Splits a canonical name at unescaped "/" ("\/" is a slash inside a name).
QStringList splitCanonical(const QString &canonical)
{
    QStringList parts;
    QString cur;
    for (qsizetype i = 0; i < canonical.size(); ++i) {
        const QChar c = canonical[i];
        if (c == u'\\' && i + 1 < canonical.size() && canonical[i + 1] == u'/') {
            cur += u'/';
            ++i;
        } else if (c == u'/') {
            parts << cur;
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts << cur;
    return parts;
}

} // namespace

struct TNameTranslate::Private {
    QString prefix;  // "LDAP://server/" or "LDAP://"
    QString user;
    QString password;
    bool useCredentials = false;
    std::uint32_t flags = ADS_SECURE_AUTHENTICATION;
    QString defaultNamingContext;
    std::vector<DomainEntry> domains;
    QString dn;  // the object named by Set

    // Rows of one search (attribute slots aligned with attrs); the status in *hr.
    QList<QVariantList> search(const QString &base, int scope, const QString &filter,
                               const QString &attrs, HRESULT *hr, int sizeLimit = 0) const
    {
        QList<QVariantList> rows;
        TQelADSISearching s;
        s.setADsPath(prefix + escapePathDn(base));
        s.setUserName(user);
        s.setPassword(password);
        s.setUseCredentials(useCredentials);
        s.setAuthFlags(int(flags));
        s.setSearchScope(scope);
        s.setFilter(filter);
        s.setAttributes(attrs);
        s.setSizeLimit(sizeLimit);
        try {
            s.ExecuteSearch();
            QVariant row;
            s.GetFirstRow(row);
            while (row.isValid()) {
                rows << row.toList();
                s.GetNextRow(row);
            }
            *hr = S_OK;
        } catch (const Exception &) {
            *hr = failed(s.LastResult()) ? s.LastResult() : E_FAIL;
        }
        return rows;
    }

    const DomainEntry *domainOf(const QString &objectDn) const
    {
        const DomainEntry *best = nullptr;
        for (const DomainEntry &d : domains)
            if (dnWithin(objectDn, d.ncName) && (!best || d.ncName.size() > best->ncName.size()))
                best = &d;
        return best;
    }

    // One object's attribute (first value) by a base read.
    HRESULT readAttr(const QString &objectDn, const QString &attr, QString *out) const
    {
        HRESULT hr = S_OK;
        const auto rows = search(objectDn, ADS_SCOPE_BASE, QStringLiteral("(objectClass=*)"), attr, &hr);
        if (failed(hr))
            return hr;
        if (rows.isEmpty())
            return HR_DS_NO_SUCH_OBJECT;
        *out = firstText(rows.first().value(0));
        return out->isEmpty() ? E_ADS_PROPERTY_NOT_FOUND : S_OK;
    }

    // The one object matching filter below every known domain; its DN.
    HRESULT findUnique(const QString &filter, QString *out) const
    {
        QStringList found;
        for (const DomainEntry &d : domains) {
            HRESULT hr = S_OK;
            const auto rows = search(d.ncName, ADS_SCOPE_SUBTREE, filter, QStringLiteral("distinguishedName"), &hr, 2);
            if (failed(hr) && hr != HR_DS_SIZELIMIT_EXCEEDED)
                return hr;
            for (const auto &r : rows)
                found << firstText(r.value(0));
        }
        if (found.isEmpty())
            return HR_DS_NO_SUCH_OBJECT;
        if (found.size() > 1)
            return E_INVALIDARG;
        *out = found.first();
        return S_OK;
    }

    HRESULT dnFromCanonical(const QString &canonical, QString *out) const
    {
        QStringList parts = splitCanonical(canonical);
        if (!parts.isEmpty() && parts.last().isEmpty())
            parts.removeLast();  // "example.com/" names the domain itself
        if (parts.isEmpty())
            return E_INVALIDARG;
        const QString domainName = parts.takeFirst();
        QString dn;
        for (const DomainEntry &d : domains)
            if (d.dnsRoot.compare(domainName, Qt::CaseInsensitive) == 0)
                dn = d.ncName;
        if (dn.isEmpty())
            return HR_DS_NO_SUCH_OBJECT;
        for (const QString &name : parts) {
            HRESULT hr = S_OK;
            const auto rows = search(dn, ADS_SCOPE_ONELEVEL,
                                     QStringLiteral("(name=%1)").arg(EscapeFilterValue(name)),
                                     QStringLiteral("distinguishedName"), &hr);
            if (failed(hr))
                return hr;
            if (rows.size() != 1)
                return rows.isEmpty() ? HR_DS_NO_SUCH_OBJECT : E_INVALIDARG;
            dn = firstText(rows.first().value(0));
        }
        *out = dn;
        return S_OK;
    }
};

TNameTranslate::TNameTranslate() : d(std::make_unique<Private>()) {}
TNameTranslate::~TNameTranslate() = default;

QString TNameTranslate::ServerPrefix() const { return d->prefix; }

ads::HRESULT TNameTranslate::Init(int initType, const QString &name)
{
    return init(initType, name, QString(), QString(), false);
}

ads::HRESULT TNameTranslate::InitEx(int initType, const QString &name, const QString &user,
                                    const QString &domain, const QString &password)
{
    const QString account = domain.isEmpty() ? user : domain + u'\\' + user;
    return init(initType, name, account, password, true);
}

ads::HRESULT TNameTranslate::init(int initType, const QString &name, const QString &user,
                                  const QString &password, bool withCredentials)
{
    if (initType != ADS_NAME_INITTYPE_DOMAIN && initType != ADS_NAME_INITTYPE_SERVER &&
        initType != ADS_NAME_INITTYPE_GC)
        return E_ADS_BAD_PARAMETER;
    if (name.isEmpty())
        return E_ADS_BAD_PARAMETER;
    const TConnectionContext ctx = [] {
        QMutexLocker lock(&g_contextMutex);
        TConnectionContext c = contextInstance();
        c.NameTranslator.reset();
        return c;
    }();
    // The connected domain and its controller are reached the way the connection reaches
    // them (its server, or the system's default), whether or not their DNS names resolve.
    QString prefix = QStringLiteral("LDAP://") + name + u'/';
    if (!ctx.ServerPrefix.isEmpty() &&
        (name.compare(ctx.DnsDomainName, Qt::CaseInsensitive) == 0 ||
         name.compare(ctx.DcHostName, Qt::CaseInsensitive) == 0 ||
         name.compare(ctx.DcShortName, Qt::CaseInsensitive) == 0))
        prefix = ctx.ServerPrefix;
    auto p = std::make_unique<Private>();
    p->prefix = prefix;
    p->user = user;
    p->password = password;
    p->useCredentials = withCredentials;
    p->flags = ctx.AuthFlags ? ctx.AuthFlags : ADS_SECURE_AUTHENTICATION;

    ObjectPtr root;
    HRESULT hr = OpenADsObject(prefix + QStringLiteral("RootDSE"), user, password, &root,
                               QString::fromLatin1(IID_IADs), p->flags, withCredentials);
    if (failed(hr))
        return hr;
    p->defaultNamingContext = readText(root, "defaultNamingContext");
    const QString config = readText(root, "configurationNamingContext");
    if (p->defaultNamingContext.isEmpty())
        return E_ADS_PROPERTY_NOT_FOUND;
    if (!config.isEmpty()) {
        const auto rows = p->search(QStringLiteral("CN=Partitions,") + config, ADS_SCOPE_ONELEVEL,
                                    QStringLiteral("(&(objectClass=crossRef)(nETBIOSName=*))"),
                                    QStringLiteral("nETBIOSName,nCName,dnsRoot"), &hr);
        for (const auto &r : rows)
            p->domains.push_back({firstText(r.value(0)), firstText(r.value(1)), firstText(r.value(2))});
    }
    if (p->domains.empty()) {
        // Without the partitions the bound domain still translates: its DNS name from the
        // naming context, no NetBIOS name.
        QStringList labels;
        for (const QString &rdn : splitDn(p->defaultNamingContext))
            if (rdn.startsWith(QStringLiteral("DC="), Qt::CaseInsensitive))
                labels << unescapeRdnValue(rdn.mid(3));
        p->domains.push_back({QString(), p->defaultNamingContext, labels.join(u'.')});
    }
    d = std::move(p);
    return S_OK;
}

ads::HRESULT TNameTranslate::Set(int nameType, const QString &name)
{
    if (d->defaultNamingContext.isEmpty())
        return E_ADS_OBJECT_UNBOUND;
    if (name.isEmpty())
        return E_ADS_BAD_PARAMETER;
    int type = nameType;
    if (type == ADS_NAME_TYPE_UNKNOWN) {
        if (name.startsWith(u'{') && name.endsWith(u'}'))
            type = ADS_NAME_TYPE_GUID;
        else if (name.contains(u'='))
            type = ADS_NAME_TYPE_1779;
        else if (name.contains(u'\\') && !name.contains(u'/'))
            type = ADS_NAME_TYPE_NT4;
        else if (name.contains(u'/'))
            type = ADS_NAME_TYPE_CANONICAL;
        else if (name.contains(u'@'))
            type = ADS_NAME_TYPE_USER_PRINCIPAL_NAME;
        else
            type = ADS_NAME_TYPE_DISPLAY;
    }
    QString dn;
    HRESULT hr = S_OK;
    switch (type) {
    case ADS_NAME_TYPE_1779: {
        QString read;
        hr = d->readAttr(name, QStringLiteral("distinguishedName"), &read);
        dn = read;
        break;
    }
    case ADS_NAME_TYPE_CANONICAL:
        hr = d->dnFromCanonical(name, &dn);
        break;
    case ADS_NAME_TYPE_NT4: {
        QString user, domain;
        SplitDomainUser(name, user, domain);
        const DomainEntry *entry = nullptr;
        for (const DomainEntry &e : d->domains)
            if (!domain.isEmpty() && e.netbios.compare(domain, Qt::CaseInsensitive) == 0)
                entry = &e;
        if (!entry)
            return HR_DS_NO_SUCH_OBJECT;
        if (user.isEmpty()) {
            dn = entry->ncName;
            break;
        }
        hr = S_OK;
        const auto rows = d->search(entry->ncName, ADS_SCOPE_SUBTREE,
                                    QStringLiteral("(sAMAccountName=%1)").arg(EscapeFilterValue(user)),
                                    QStringLiteral("distinguishedName"), &hr);
        if (succeeded(hr)) {
            if (rows.size() != 1)
                return rows.isEmpty() ? HR_DS_NO_SUCH_OBJECT : E_INVALIDARG;
            dn = firstText(rows.first().value(0));
        }
        break;
    }
    case ADS_NAME_TYPE_USER_PRINCIPAL_NAME:
        hr = d->findUnique(QStringLiteral("(userPrincipalName=%1)").arg(EscapeFilterValue(name)), &dn);
        break;
    case ADS_NAME_TYPE_DISPLAY:
        hr = d->findUnique(QStringLiteral("(displayName=%1)").arg(EscapeFilterValue(name)), &dn);
        break;
    case ADS_NAME_TYPE_GUID: {
        const QByteArray bytes = guidFromString(name);
        if (bytes.isEmpty())
            return E_ADS_BAD_PARAMETER;
        hr = d->findUnique(QStringLiteral("(objectGUID=%1)").arg(EscapeFilterBytes(bytes)), &dn);
        break;
    }
    default:
        return E_ADS_BAD_PARAMETER;
    }
    if (failed(hr))
        return hr;
    if (dn.isEmpty())
        return HR_DS_NO_SUCH_OBJECT;
    d->dn = dn;
    return S_OK;
}

ads::HRESULT TNameTranslate::Get(int nameType, QString *name)
{
    name->clear();
    if (d->dn.isEmpty())
        return E_ADS_OBJECT_UNBOUND;
    switch (nameType) {
    case ADS_NAME_TYPE_1779:
        *name = d->dn;
        return S_OK;
    case ADS_NAME_TYPE_CANONICAL:
        return d->readAttr(d->dn, QStringLiteral("canonicalName"), name);
    case ADS_NAME_TYPE_NT4: {
        const DomainEntry *entry = d->domainOf(d->dn);
        if (!entry || entry->netbios.isEmpty())
            return HR_DS_NO_SUCH_OBJECT;
        if (d->dn.compare(entry->ncName, Qt::CaseInsensitive) == 0) {
            *name = entry->netbios + u'\\';
            return S_OK;
        }
        QString account;
        const HRESULT hr = d->readAttr(d->dn, QStringLiteral("sAMAccountName"), &account);
        if (failed(hr))
            return hr;
        *name = entry->netbios + u'\\' + account;
        return S_OK;
    }
    case ADS_NAME_TYPE_USER_PRINCIPAL_NAME:
        return d->readAttr(d->dn, QStringLiteral("userPrincipalName"), name);
    case ADS_NAME_TYPE_DISPLAY:
        return d->readAttr(d->dn, QStringLiteral("displayName"), name);
    case ADS_NAME_TYPE_GUID:
        return d->readAttr(d->dn, QStringLiteral("objectGUID"), name);
    default:
        return E_ADS_BAD_PARAMETER;
    }
}
