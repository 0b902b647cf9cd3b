#include "platform/adsi/adsobject.h"

#include "platform/adsi/adserror.h"
#include "platform/adsi/adsinternal.h"
#include "platform/adsi/adspath.h"
#include "platform/adsi/adssearch.h"
#include "platform/adsi/adsvalue.h"

#include <QHash>
#include <QSet>

namespace ads {

using namespace detail;

namespace {
struct CachedProperty {
    QString name;
    AdsType type = ADSTYPE_INVALID;
    QVariantList values;
    QList<QByteArray> wire;  // the same values as read or staged, aligned with values
};
// An attribute's values when it was first staged since the last write (what the program
// knew of it then); known is false when it was never read.
struct BeforeValues {
    bool known = false;
    QList<QByteArray> wire;
};
struct StagedChange {
    int op = ADS_PROPERTY_UPDATE;
    QString name;
    QList<QByteArray> values;
};
} // namespace

struct Object::Private {
    AdsPath path;
    QString dn;
    QString user;
    QString password;
    std::uint32_t flags = 0;
    bool isNew = false;              // made by Create, not yet added
    bool loaded = false;             // GetInfo done
    QSet<QString> askedFor;          // lower-case names read by GetInfoEx / hints
    QList<CachedProperty> cache;
    QHash<QString, int> index;       // lower-case name -> position in cache
    QList<StagedChange> staged;
    QHash<QString, BeforeValues> before;  // lower-case name -> values before the staged changes
    QByteArray knownGuid;            // objectGUID a caller read with a search (setKnownGuid)
    int securityMask = -1;           // -1: owner+group+DACL to read, DACL to write
    QStringList filter;
    QStringList hints;
    QString objectClass;             // most specific class, when known

    void setProperty(const QString &name, AdsType type, QVariantList values, QList<QByteArray> wire)
    {
        const QString key = name.toLower();
        auto it = index.constFind(key);
        if (it != index.constEnd()) {
            cache[*it].values = std::move(values);
            cache[*it].wire = std::move(wire);
            cache[*it].type = type;
            cache[*it].name = name;
            return;
        }
        index.insert(key, static_cast<int>(cache.size()));
        cache.append(CachedProperty{name, type, std::move(values), std::move(wire)});
    }
    void removeProperty(const QString &name)
    {
        const QString key = name.toLower();
        auto it = index.constFind(key);
        if (it == index.constEnd())
            return;
        cache.removeAt(*it);
        index.clear();
        for (int i = 0; i < cache.size(); ++i)
            index.insert(cache[i].name.toLower(), i);
    }
    const CachedProperty *find(const QString &name) const
    {
        auto it = index.constFind(name.toLower());
        return it == index.constEnd() ? nullptr : &cache[*it];
    }
};

Object::Object() : d(std::make_unique<Private>()) {}
Object::~Object() = default;

namespace {

AdsType attributeType(const std::shared_ptr<Connection> &conn, const QString &name,
                      const QList<QByteArray> &values)
{
    const auto schema = conn->schema();
    const AttributeInfo info = schema->lookup(name);
    if (info.known)
        return info.type;
    for (const QByteArray &v : values)
        if (!isUtf8(v.constData(), static_cast<int>(v.size())))
            return ADSTYPE_OCTET_STRING;
    return info.type;
}

void storeAttributes(Object::Private *d, const std::shared_ptr<Connection> &conn,
                     const QList<RawAttribute> &attrs)
{
    for (const RawAttribute &a : attrs) {
        const AdsType type = attributeType(conn, a.name, a.values);
        d->setProperty(a.name, type, convertValues(type, a.values), a.values);
        if (a.name.compare(QLatin1String("objectClass"), Qt::CaseInsensitive) == 0 && !a.values.isEmpty())
            d->objectClass = QString::fromUtf8(a.values.last());
    }
}

// What SetInfo is about to send, for the write recorder: per attribute (in staged order) the
// values before and after. A replaced attribute the program never read, and a missing
// objectGUID, are read in one base read just before the write.
HRESULT buildWriteRequest(Object::Private *d, const std::shared_ptr<Connection> &conn, WriteRequest *req)
{
    req->kind = d->isNew ? WriteKind::Add : WriteKind::Modify;
    req->dn = d->dn;
    const auto schema = conn->schema();
    QStringList order;
    QHash<QString, QList<const StagedChange *>> byName;
    for (const StagedChange &c : d->staged) {
        const QString key = c.name.toLower();
        if (!byName.contains(key))
            order.append(key);
        byName[key].append(&c);
    }
    QList<QByteArray> toRead;
    QList<int> unknownBefore;  // indexes into req->changes
    for (const QString &key : order) {
        const QList<const StagedChange *> &ops = byName[key];
        WriteChange ch;
        ch.attribute = ops.first()->name;
        const AttributeInfo info = schema->lookup(ch.attribute);
        ch.type = info.type;
        ch.confidential = info.confidential;
        const int first = ops.first()->op;
        ch.whole = d->isNew || first == ADS_PROPERTY_UPDATE || first == ADS_PROPERTY_CLEAR;
        for (const StagedChange *c : ops) {
            switch (c->op) {
            case ADS_PROPERTY_CLEAR: ch.after.clear(); break;
            case ADS_PROPERTY_UPDATE: ch.after = c->values; break;
            case ADS_PROPERTY_APPEND: ch.after += c->values; break;
            case ADS_PROPERTY_DELETE:
                if (ch.whole)
                    for (const QByteArray &v : c->values)
                        ch.after.removeAll(v);
                else
                    ch.before += c->values;
                break;
            }
        }
        if (ch.whole && !d->isNew) {
            const BeforeValues b = d->before.value(key);
            if (b.known) {
                ch.before = b.wire;
            } else {
                unknownBefore.append(static_cast<int>(req->changes.size()));
                toRead.append(ch.attribute.toUtf8());
            }
        }
        req->changes.append(ch);
    }
    if (!d->isNew) {
        const CachedProperty *g = d->find(QStringLiteral("objectGUID"));
        req->guid = g && !g->wire.isEmpty() ? g->wire.first() : d->knownGuid;
        if (req->guid.isEmpty())
            toRead.append("objectGUID");
    }
    if (toRead.isEmpty())
        return S_OK;
    bool sd = false;
    for (const QByteArray &n : toRead)
        sd = sd || n.compare("nTSecurityDescriptor", Qt::CaseInsensitive) == 0;
    QList<RawAttribute> raw;
    const HRESULT h = readEntry(conn, d->dn, toRead, sd ? (d->securityMask >= 0 ? d->securityMask : 7) : -1, &raw);
    if (failed(h))
        return h;
    for (const RawAttribute &a : raw) {
        if (a.name.compare(QLatin1String("objectGUID"), Qt::CaseInsensitive) == 0 && !a.values.isEmpty())
            req->guid = a.values.first();
        for (int i : unknownBefore)
            if (req->changes[i].attribute.compare(a.name, Qt::CaseInsensitive) == 0)
                req->changes[i].before = a.values;
    }
    return S_OK;
}

QVariant singleOrArray(const QVariantList &values)
{
    if (values.size() == 1)
        return values.first();
    return values;
}

} // namespace

QString Object::ADsPath() const { return d->path.toString(); }

QString Object::Name() const
{
    if (d->path.rootDse)
        return QStringLiteral("RootDSE");
    return firstRdn(d->dn);
}

QString Object::Parent() const
{
    AdsPath p = d->path;
    p.rootDse = false;
    p.dn = parentDn(d->dn);
    return p.toString();
}

QString Object::Class() const
{
    if (d->objectClass.isEmpty() && !d->path.rootDse && m_conn) {
        QList<RawAttribute> attrs;
        if (succeeded(readEntry(m_conn, d->dn, {"objectClass"}, -1, &attrs)))
            storeAttributes(d.get(), m_conn, attrs);
    }
    return d->objectClass;
}

QString Object::GUID() const
{
    const CachedProperty *p = d->find(QStringLiteral("objectGUID"));
    QByteArray raw;
    if (p && !p->values.isEmpty()) {
        raw = p->values.first().toByteArray();
    } else if (m_conn && !d->path.rootDse) {
        QList<RawAttribute> attrs;
        if (succeeded(readEntry(m_conn, d->dn, {"objectGUID"}, -1, &attrs)) && !attrs.isEmpty() &&
            !attrs.first().values.isEmpty())
            raw = attrs.first().values.first();
    }
    return QString::fromLatin1(raw.toHex());
}

QString Object::distinguishedName() const { return d->dn; }
bool Object::isRootDse() const { return d->path.rootDse; }

HRESULT Object::GetInfo()
{
    if (d->isNew)
        return E_ADS_OBJECT_UNBOUND;
    QList<QByteArray> attrs;
    if (d->path.rootDse)
        attrs = {"*", "+"};
    QList<RawAttribute> raw;
    const int sd = d->securityMask >= 0 ? d->securityMask : 7;
    const HRESULT h = readEntry(m_conn, d->dn, attrs, d->path.rootDse ? -1 : sd, &raw);
    if (failed(h))
        return h;
    d->cache.clear();
    d->index.clear();
    storeAttributes(d.get(), m_conn, raw);
    d->loaded = true;
    return S_OK;
}

HRESULT Object::GetInfoEx(const QStringList &names)
{
    if (d->isNew)
        return E_ADS_OBJECT_UNBOUND;
    QList<QByteArray> attrs;
    bool wantsSd = false;
    for (const QString &n : names) {
        if (n.trimmed().isEmpty())
            continue;
        attrs.append(n.trimmed().toUtf8());
        if (n.trimmed().compare(QLatin1String("nTSecurityDescriptor"), Qt::CaseInsensitive) == 0)
            wantsSd = true;
    }
    if (attrs.isEmpty())
        return S_OK;
    QList<RawAttribute> raw;
    const int sd = wantsSd ? (d->securityMask >= 0 ? d->securityMask : 7) : -1;
    const HRESULT h = readEntry(m_conn, d->dn, attrs, sd, &raw);
    if (failed(h))
        return h;
    for (const QByteArray &a : attrs) {
        const QString n = QString::fromUtf8(a);
        d->removeProperty(n);
        d->askedFor.insert(n.toLower());
    }
    storeAttributes(d.get(), m_conn, raw);
    return S_OK;
}

HRESULT Object::Get(const QString &name, QVariant *value)
{
    if (!value)
        return E_POINTER;
    *value = QVariant();
    const CachedProperty *p = d->find(name);
    if (!p && !d->loaded && !d->isNew && !d->askedFor.contains(name.toLower())) {
        const HRESULT h = GetInfo();
        if (failed(h))
            return h;
        p = d->find(name);
    }
    if (!p || p->values.isEmpty())
        return fail(E_ADS_PROPERTY_NOT_FOUND,
                    QStringLiteral("The attribute %1 is not set on %2.").arg(name, d->dn));
    *value = singleOrArray(p->values);
    return S_OK;
}

HRESULT Object::GetEx(const QString &name, QVariant *value)
{
    if (!value)
        return E_POINTER;
    const HRESULT h = Get(name, value);
    if (failed(h))
        return h;
    if (value->metaType().id() != QMetaType::QVariantList)
        *value = QVariantList{*value};
    return S_OK;
}

HRESULT Object::Put(const QString &name, const QVariant &value)
{
    return PutEx(ADS_PROPERTY_UPDATE, name, value);
}

namespace {

// Stages one change (values already in wire form) and makes the cache show the staged state,
// as ADSI's does.
void stageChange(Object::Private *d, const std::shared_ptr<Connection> &conn, StagedChange change)
{
    if (change.values.isEmpty() && change.op == ADS_PROPERTY_UPDATE)
        change.op = ADS_PROPERTY_CLEAR;
    if (change.op == ADS_PROPERTY_CLEAR)
        change.values.clear();
    // A replacement or clear overrides every earlier staged change of the attribute.
    if (change.op == ADS_PROPERTY_UPDATE || change.op == ADS_PROPERTY_CLEAR) {
        for (int i = static_cast<int>(d->staged.size()) - 1; i >= 0; --i)
            if (d->staged[i].name.compare(change.name, Qt::CaseInsensitive) == 0)
                d->staged.removeAt(i);
    }
    const AdsType type = conn->schema()->lookup(change.name).type;
    const CachedProperty *cur = d->find(change.name);
    const QString key = change.name.toLower();
    // What the program knew of the attribute before its first staged change since the last
    // write: the write recorder's "before".
    if (!d->before.contains(key)) {
        BeforeValues b;
        // GetInfo's "*" leaves out operational attributes (the descriptor among them), so an
        // attribute missing after it is read again before the write rather than taken as empty.
        b.known = cur || d->isNew || d->askedFor.contains(key);
        if (cur)
            b.wire = cur->wire;
        d->before.insert(key, b);
    }
    QVariantList now = cur ? cur->values : QVariantList();
    QList<QByteArray> nowWire = cur ? cur->wire : QList<QByteArray>();
    const QVariantList converted = convertValues(type, change.values);
    switch (change.op) {
    case ADS_PROPERTY_CLEAR: now.clear(); nowWire.clear(); break;
    case ADS_PROPERTY_UPDATE: now = converted; nowWire = change.values; break;
    case ADS_PROPERTY_APPEND: now += converted; nowWire += change.values; break;
    case ADS_PROPERTY_DELETE:
        for (const QVariant &v : converted)
            for (qsizetype at = now.indexOf(v); at >= 0; at = now.indexOf(v)) {
                now.removeAt(at);
                if (at < nowWire.size())
                    nowWire.removeAt(at);
            }
        break;
    }
    if (now.isEmpty())
        d->removeProperty(change.name);
    else
        d->setProperty(change.name, type, now, nowWire);
    d->askedFor.insert(key);
    d->staged.append(std::move(change));
}

// How a write handed to libldap (rc and msgid of ldap_*_ext) ended, told to the journal: not
// sent, so nothing was written (a dropped connection is marked broken); or sent and answered
// within the bound, a server that does not answer giving E_ADS_WRITE_OUTCOME_UNKNOWN. sdMask:
// the descriptor parts the journal reads again, after a failure and after a success.
HRESULT endWrite(Connection &conn, WriteCall &journal, int rc, int msgid, int failedSdMask, int doneSdMask)
{
    if (rc != LDAP_SUCCESS) {
        if (rc == LDAP_SERVER_DOWN)
            conn.markBroken();
        const HRESULT h = failLdap(conn.ld(), rc);
        journal.end(h, false, failedSdMask);
        return h;
    }
    if (const HRESULT h = finishWrite(conn, msgid); failed(h)) {
        journal.end(h, true, failedSdMask);
        return h;
    }
    journal.end(S_OK, true, doneSdMask);
    clearLastError();
    return S_OK;
}

} // namespace

HRESULT Object::PutEx(int controlCode, const QString &name, const QVariant &values)
{
    if (name.trimmed().isEmpty())
        return E_ADS_BAD_PARAMETER;
    if (controlCode < ADS_PROPERTY_CLEAR || controlCode > ADS_PROPERTY_DELETE)
        return E_ADS_BAD_PARAMETER;
    StagedChange change;
    change.op = controlCode;
    change.name = name.trimmed();
    QVariantList list;
    if (controlCode != ADS_PROPERTY_CLEAR) {
        list = values.metaType().id() == QMetaType::QVariantList ? values.toList() : QVariantList{values};
        if (values.metaType().id() == QMetaType::QStringList) {
            list.clear();
            for (const QString &s : values.toStringList())
                list.append(s);
        }
        const AdsType type = m_conn->schema()->lookup(change.name).type;
        for (const QVariant &v : list) {
            QByteArray wire;
            if (!valueToWire(type, v, &wire))
                return fail(E_ADS_CANT_CONVERT_DATATYPE,
                            QStringLiteral("The value given for %1 cannot be converted to its directory type.")
                                .arg(change.name));
            change.values.append(wire);
        }
    }
    stageChange(d.get(), m_conn, std::move(change));
    return S_OK;
}

HRESULT Object::PutExWire(int controlCode, const QString &name, const QList<QByteArray> &values)
{
    if (name.trimmed().isEmpty() || controlCode < ADS_PROPERTY_CLEAR || controlCode > ADS_PROPERTY_DELETE)
        return E_ADS_BAD_PARAMETER;
    StagedChange change;
    change.op = controlCode;
    change.name = name.trimmed();
    change.values = values;
    stageChange(d.get(), m_conn, std::move(change));
    return S_OK;
}

void Object::setKnownGuid(const QByteArray &objectGuid)
{
    if (objectGuid.size() == 16)
        d->knownGuid = objectGuid;
}

HRESULT Object::SetInfo()
{
    if (d->path.rootDse)
        return E_ADS_BAD_PARAMETER;
    if (d->staged.isEmpty() && !d->isNew)
        return S_OK;
    std::vector<LDAPMod> mods(d->staged.size());
    std::vector<LDAPMod *> modPtrs;
    std::vector<QByteArray> names;
    std::vector<std::vector<berval>> vals(d->staged.size());
    std::vector<std::vector<berval *>> valPtrs(d->staged.size());
    names.reserve(d->staged.size());
    bool writesSd = false;
    for (int i = 0; i < d->staged.size(); ++i) {
        StagedChange &c = d->staged[i];
        names.push_back(c.name.toUtf8());
        if (c.name.compare(QLatin1String("nTSecurityDescriptor"), Qt::CaseInsensitive) == 0)
            writesSd = true;
        LDAPMod &m = mods[i];
        switch (c.op) {
        // Clearing is a replacement with no values: it also succeeds when the attribute is
        // already absent, where a delete would fail.
        case ADS_PROPERTY_CLEAR: m.mod_op = LDAP_MOD_REPLACE; break;
        case ADS_PROPERTY_UPDATE: m.mod_op = d->isNew ? LDAP_MOD_ADD : LDAP_MOD_REPLACE; break;
        case ADS_PROPERTY_APPEND: m.mod_op = LDAP_MOD_ADD; break;
        case ADS_PROPERTY_DELETE: m.mod_op = LDAP_MOD_DELETE; break;
        }
        m.mod_op |= LDAP_MOD_BVALUES;
        m.mod_type = names.back().data();
        for (QByteArray &v : c.values)
            vals[i].push_back(berval{static_cast<ber_len_t>(v.size()), v.data()});
        for (berval &b : vals[i])
            valPtrs[i].push_back(&b);
        valPtrs[i].push_back(nullptr);
        m.mod_bvalues = valPtrs[i].data();
        if (d->isNew && c.op == ADS_PROPERTY_CLEAR)
            continue;
        modPtrs.push_back(&m);
    }
    modPtrs.push_back(nullptr);
    LDAPControl *sd = nullptr;
    if (writesSd)
        sd = makeSdFlagsControl(d->securityMask >= 0 ? d->securityMask : ADS_SECURITY_INFO_DACL);
    WriteCall journal(m_conn);
    if (journal.recording()) {
        WriteRequest req;
        HRESULT h = buildWriteRequest(d.get(), m_conn, &req);
        if (succeeded(h))
            h = journal.begin(std::move(req));
        if (failed(h)) {
            freeControl(sd);
            return h;
        }
    }
    LDAPControl *ctrls[] = {sd, nullptr};
    const QByteArray dn = d->dn.toUtf8();
    int rc;
    int msgid = -1;
    if (d->isNew)
        rc = ldap_add_ext(m_conn->ld(), dn.constData(), modPtrs.data(), sd ? ctrls : nullptr, nullptr, &msgid);
    else
        rc = ldap_modify_ext(m_conn->ld(), dn.constData(), modPtrs.data(), sd ? ctrls : nullptr, nullptr, &msgid);
    freeControl(sd);
    // After a failure the staged changes stay: whether an unanswered write was applied is not
    // known.
    if (const HRESULT h = endWrite(*m_conn, journal, rc, msgid, 7, d->securityMask >= 0 ? d->securityMask : 7); failed(h))
        return h;
    d->staged.clear();
    d->before.clear();
    d->isNew = false;
    return S_OK;
}

int Object::PropertyCount() const { return static_cast<int>(d->cache.size()); }

HRESULT Object::Item(int index, PropertyEntry *entry) const
{
    if (!entry || index < 0 || index >= d->cache.size())
        return E_ADS_BAD_PARAMETER;
    const CachedProperty &p = d->cache[index];
    entry->name = p.name;
    entry->type = p.type;
    entry->values = p.values;
    return S_OK;
}

HRESULT Object::GetPropertyItem(const QString &name, PropertyEntry *entry) const
{
    const CachedProperty *p = d->find(name);
    if (!p || !entry)
        return E_ADS_PROPERTY_NOT_FOUND;
    entry->name = p->name;
    entry->type = p->type;
    entry->values = p->values;
    return S_OK;
}

HRESULT Object::SetOption(int option, const QVariant &value)
{
    if (option != ADS_OPTION_SECURITY_MASK)
        return E_NOTIMPL;
    bool ok = false;
    const int mask = value.toInt(&ok);
    if (!ok || mask < 0 || mask > 15)
        return E_ADS_BAD_PARAMETER;
    d->securityMask = mask;
    return S_OK;
}

HRESULT Object::GetOption(int option, QVariant *value) const
{
    if (!value)
        return E_POINTER;
    switch (option) {
    case ADS_OPTION_SECURITY_MASK:
        *value = d->securityMask >= 0 ? d->securityMask : 7;
        return S_OK;
    case ADS_OPTION_SERVERNAME:
        *value = m_conn ? m_conn->host() : QString();
        return S_OK;
    default:
        return E_NOTIMPL;
    }
}

void Object::put_Filter(const QStringList &classes) { d->filter = classes; }
void Object::put_Hints(const QStringList &attributes) { d->hints = attributes; }
QStringList Object::get_Filter() const { return d->filter; }
QStringList Object::get_Hints() const { return d->hints; }

HRESULT Object::Create(const QString &className, const QString &rdn, ObjectPtr *child)
{
    if (!child || className.isEmpty() || !rdn.contains(QLatin1Char('=')) || d->path.rootDse)
        return E_ADS_BAD_PARAMETER;
    ObjectPtr o(new Object());
    o->m_conn = m_conn;
    o->d->path = d->path;
    o->d->dn = rdn + QLatin1Char(',') + d->dn;
    o->d->path.dn = o->d->dn;
    o->d->flags = d->flags;
    o->d->isNew = true;
    o->d->objectClass = className;
    const HRESULT h = o->PutEx(ADS_PROPERTY_UPDATE, QStringLiteral("objectClass"), className);
    if (failed(h))
        return h;
    *child = o;
    return S_OK;
}

HRESULT Object::Delete(const QString &className, const QString &rdn)
{
    Q_UNUSED(className);
    if (!rdn.contains(QLatin1Char('=')) || d->path.rootDse)
        return E_ADS_BAD_PARAMETER;
    const QByteArray dn = (rdn + QLatin1Char(',') + d->dn).toUtf8();
    WriteCall journal(m_conn);
    if (journal.recording()) {
        WriteRequest req;
        req.kind = WriteKind::Delete;
        req.dn = QString::fromUtf8(dn);
        QList<RawAttribute> raw;
        HRESULT h = readEntry(m_conn, req.dn, {"objectGUID"}, -1, &raw);
        if (succeeded(h) && !raw.isEmpty() && !raw.first().values.isEmpty())
            req.guid = raw.first().values.first();
        if (succeeded(h))
            h = journal.begin(std::move(req));
        if (failed(h))
            return h;
    }
    int msgid = -1;
    const int rc = ldap_delete_ext(m_conn->ld(), dn.constData(), nullptr, nullptr, &msgid);
    return endWrite(*m_conn, journal, rc, msgid, -1, -1);
}

HRESULT Object::GetObject(const QString &className, const QString &rdn, ObjectPtr *child)
{
    Q_UNUSED(className);
    if (!child || !rdn.contains(QLatin1Char('=')))
        return E_ADS_BAD_PARAMETER;
    AdsPath p = d->path;
    p.rootDse = false;
    p.dn = rdn + QLatin1Char(',') + d->dn;
    return ADsOpenObject(p.toString(), d->user, d->password, d->flags, child);
}

HRESULT Object::SetPassword(const QString &newPassword)
{
    const QString quoted = QLatin1Char('"') + newPassword + QLatin1Char('"');
    QByteArray utf16(reinterpret_cast<const char *>(quoted.utf16()), quoted.size() * 2);
    berval bv{static_cast<ber_len_t>(utf16.size()), utf16.data()};
    berval *bvs[] = {&bv, nullptr};
    char attr[] = "unicodePwd";
    LDAPMod mod;
    mod.mod_op = LDAP_MOD_REPLACE | LDAP_MOD_BVALUES;
    mod.mod_type = attr;
    mod.mod_bvalues = bvs;
    LDAPMod *mods[] = {&mod, nullptr};
    const QByteArray dn = d->dn.toUtf8();
    WriteCall journal(m_conn);
    if (journal.recording()) {
        // The password itself never leaves this function: the change names the attribute only.
        WriteRequest req;
        req.kind = WriteKind::SetPassword;
        req.dn = d->dn;
        WriteChange ch;
        ch.attribute = QString::fromLatin1(attr);
        ch.type = ADSTYPE_OCTET_STRING;
        ch.confidential = true;
        req.changes.append(ch);
        const CachedProperty *g = d->find(QStringLiteral("objectGUID"));
        req.guid = g && !g->wire.isEmpty() ? g->wire.first() : d->knownGuid;
        QList<RawAttribute> raw;
        HRESULT h = S_OK;
        if (req.guid.isEmpty()) {
            h = readEntry(m_conn, d->dn, {"objectGUID"}, -1, &raw);
            if (succeeded(h) && !raw.isEmpty() && !raw.first().values.isEmpty())
                req.guid = raw.first().values.first();
        }
        if (succeeded(h))
            h = journal.begin(std::move(req));
        if (failed(h)) {
            utf16.fill('\0');
            return h;
        }
    }
    int msgid = -1;
    const int rc = ldap_modify_ext(m_conn->ld(), dn.constData(), mods, nullptr, nullptr, &msgid);
    utf16.fill('\0');
    return endWrite(*m_conn, journal, rc, msgid, -1, -1);
}

HRESULT Object::put_AccountExpirationDate(const AdsDate &utcDate)
{
    const qint64 ft = utcDate.isZero() ? 0 : dateTimeToFileTime(utcDate.toDateTime(Qt::UTC));
    return Put(QStringLiteral("accountExpires"), ft);
}

HRESULT Object::QueryDirectorySearch(std::shared_ptr<DirectorySearch> *out)
{
    if (!out)
        return E_POINTER;
    if (d->path.rootDse || d->isNew)
        return E_NOINTERFACE;
    *out = DirectorySearch::create(m_conn, d->dn, d->path.prefix());
    return S_OK;
}

HRESULT Object::QueryInterface(const QString &iid) const
{
    const QString id = iid.trimmed().toUpper();
    if (id == QLatin1String(IID_IADs) || id == QLatin1String(IID_IADsContainer) ||
        id == QLatin1String(IID_IADsUser) ||
        id == QLatin1String("{46F14FDA-232B-11D1-A808-00C04FD8D5A8}") /* IADsObjectOptions */ ||
        id == QLatin1String("{C6F602B6-8F69-11D0-8528-00C04FD8D503}") /* IADsPropertyList */)
        return S_OK;
    if (id == QLatin1String(IID_IDirectorySearch))
        return d->path.rootDse ? E_NOINTERFACE : S_OK;
    return E_NOINTERFACE;
}

HRESULT ADsOpenObject(const QString &path, const QString &user, const QString &password,
                      std::uint32_t flags, ObjectPtr *out)
{
    if (!out)
        return E_POINTER;
    out->reset();
    AdsPath p;
    if (!AdsPath::parse(path.trimmed(), &p) || (p.server.isEmpty() && p.dn.isEmpty() && !p.rootDse))
        return fail(E_ADS_BAD_PATHNAME, QStringLiteral("\"%1\" is not a valid LDAP path.").arg(path));
    std::shared_ptr<Connection> conn;
    // Fast binding changes nothing about the session, so it shares the pooled connection.
    HRESULT h = ConnectionPool::get(p.server, p.port, user, password, flags & ~ADS_FAST_BIND, &conn);
    if (failed(h))
        return h;
    ObjectPtr o(new Object());
    o->m_conn = conn;
    o->d->path = p;
    o->d->user = user;
    o->d->password = password;
    o->d->flags = flags;
    if (p.rootDse) {
        h = o->GetInfo();
        if (failed(h))
            return h;
        *out = o;
        return S_OK;
    }
    if (p.dn.isEmpty()) {
        // "LDAP://server" names the server's domain.
        h = defaultNamingContext(conn, &o->d->dn);
        if (failed(h))
            return h;
        o->d->path.dn = o->d->dn;
    } else {
        o->d->dn = p.dn;
    }
    if (flags & ADS_FAST_BIND) {
        // The caller's next request finds out whether the object exists; one round trip
        // per object saved in bulk loops.
        *out = o;
        return S_OK;
    }
    QList<RawAttribute> attrs;
    h = readEntry(conn, o->d->dn, {"objectClass"}, -1, &attrs);
    if (failed(h))
        return h;
    storeAttributes(o->d.get(), conn, attrs);
    *out = o;
    return S_OK;
}

// --- Enumeration --------------------------------------------------------------------------

struct Enumerator::Private {
    ObjectPtr container;
    std::unique_ptr<Pager> pager;
    QStringList hintNames;
};

Enumerator::Enumerator() : d(std::make_unique<Private>()) {}
Enumerator::~Enumerator() = default;

HRESULT ADsBuildEnumerator(const ObjectPtr &container, std::unique_ptr<Enumerator> *out)
{
    if (!container || !out)
        return E_POINTER;
    if (container->isRootDse())
        return E_NOINTERFACE;
    std::unique_ptr<Enumerator> e(new Enumerator());
    e->d->container = container;
    SearchSpec searchSpec;
    searchSpec.base = container->distinguishedName().toUtf8();
    searchSpec.scope = LDAP_SCOPE_ONELEVEL;
    const QStringList classes = container->get_Filter();
    if (classes.isEmpty()) {
        searchSpec.filter = "(objectClass=*)";
    } else {
        QByteArray f = "(|";
        for (const QString &c : classes)
            f += "(objectClass=" + c.trimmed().toUtf8() + ")";
        searchSpec.filter = f + ")";
    }
    searchSpec.attrs = {"objectClass"};
    for (const QString &item : container->get_Hints())
        for (const QString &n : item.split(QLatin1Char(','), Qt::SkipEmptyParts))
            if (!n.trimmed().isEmpty()) {
                searchSpec.attrs.append(n.trimmed().toUtf8());
                e->d->hintNames << n.trimmed();
            }
    searchSpec.pageSize = 500;
    e->d->pager = std::make_unique<Pager>(container->connection());
    const int rc = e->d->pager->start(searchSpec);
    if (rc != LDAP_SUCCESS)
        return hresultFromLdap(rc);
    *out = std::move(e);
    return S_OK;
}

HRESULT Enumerator::Next(ObjectPtr *child)
{
    *child = nullptr;
    LDAPMessage *e = nullptr;
    const int rc = d->pager->next(&e);
    if (rc != LDAP_SUCCESS && rc != LDAP_SIZELIMIT_EXCEEDED)
        return hresultFromLdap(rc);
    if (!e)
        return S_FALSE;
    const auto &conn = d->container->connection();
    char *dn = ldap_get_dn(conn->ld(), e);
    ObjectPtr o(new Object());
    o->m_conn = conn;
    const Object::Private &pd = *d->container->d;
    o->d->path = pd.path;
    o->d->dn = QString::fromUtf8(dn ? dn : "");
    o->d->path.dn = o->d->dn;
    o->d->user = pd.user;
    o->d->password = pd.password;
    o->d->flags = pd.flags;
    ldap_memfree(dn);
    QList<RawAttribute> attrs;
    const HRESULT h = entryAttributes(conn, e, &attrs);
    if (failed(h))
        return h;
    storeAttributes(o->d.get(), conn, attrs);
    for (const QString &n : d->hintNames)
        o->d->askedFor.insert(n.toLower());
    *child = o;
    return S_OK;
}

HRESULT ADsEnumerateNext(Enumerator *e, int count, QList<ObjectPtr> *out, int *fetched)
{
    if (!e || !out)
        return E_POINTER;
    out->clear();
    for (int i = 0; i < count; ++i) {
        ObjectPtr o;
        const HRESULT h = e->Next(&o);
        if (failed(h))
            return h;
        if (!o)
            break;
        out->append(o);
    }
    if (fetched)
        *fetched = static_cast<int>(out->size());
    return out->size() == count ? S_OK : S_FALSE;
}

} // namespace ads
