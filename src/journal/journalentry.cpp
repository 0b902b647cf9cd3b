#include "journal/journalentry.h"

#include "platform/adsi/adsvalue.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringDecoder>
#include <QUuid>

namespace journal {

namespace {

struct KnownRule {
    const char *name;
    UndoRule undo;
    bool secret;
    const char *why;
};

// Attributes whose rule is not "values". Secrets are never recorded, whatever the schema says.
constexpr KnownRule kRules[] = {
    {"unicodePwd", UndoRule::None, true, "a password is never recorded, so it cannot be put back"},
    {"userPassword", UndoRule::None, true, "a password is never recorded, so it cannot be put back"},
    {"unixUserPassword", UndoRule::None, true, "a password is never recorded, so it cannot be put back"},
    {"dBCSPwd", UndoRule::None, true, "a password hash is never recorded"},
    {"ntPwdHistory", UndoRule::None, true, "a password hash is never recorded"},
    {"lmPwdHistory", UndoRule::None, true, "a password hash is never recorded"},
    {"supplementalCredentials", UndoRule::None, true, "credentials are never recorded"},
    {"ms-Mcs-AdmPwd", UndoRule::None, true, "the local administrator password is never recorded"},
    {"msLAPS-Password", UndoRule::None, true, "the local administrator password is never recorded"},
    {"msLAPS-EncryptedPassword", UndoRule::None, true, "the local administrator password is never recorded"},
    {"msLAPS-EncryptedPasswordHistory", UndoRule::None, true, "the local administrator password is never recorded"},
    {"msLAPS-EncryptedDSRMPassword", UndoRule::None, true, "the local administrator password is never recorded"},
    {"msLAPS-EncryptedDSRMPasswordHistory", UndoRule::None, true,
     "the local administrator password is never recorded"},
    {"lockoutTime", UndoRule::None, false,
     "the directory accepts only 0 here (unlock): a lock-out cannot be written back"},
    {"pwdLastSet", UndoRule::None, false,
     "the directory accepts only 0 or -1 here: the earlier password date cannot be written back"},
    {"nTSecurityDescriptor", UndoRule::ReplaceIfUnchanged, false, ""},
};

QString kindName(ads::WriteKind k)
{
    switch (k) {
    case ads::WriteKind::Modify: return QStringLiteral("modify");
    case ads::WriteKind::Add: return QStringLiteral("add");
    case ads::WriteKind::Delete: return QStringLiteral("delete");
    case ads::WriteKind::SetPassword: return QStringLiteral("password");
    }
    return QStringLiteral("modify");
}

bool binaryType(ads::AdsType t)
{
    return t == ads::ADSTYPE_OCTET_STRING || t == ads::ADSTYPE_NT_SECURITY_DESCRIPTOR || t == ads::ADSTYPE_PROV_SPECIFIC
        || t == ads::ADSTYPE_OCTET_LIST;
}

bool validUtf8(const QByteArray &b)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(b);  // converting is what decodes
    return !decoder.hasError();
}

QString timeText(const QDateTime &t) { return t.toUTC().toString(Qt::ISODateWithMs); }

QDateTime parseTime(const QString &s)
{
    QDateTime t = QDateTime::fromString(s, Qt::ISODateWithMs);
    if (!t.isValid())
        t = QDateTime::fromString(s, Qt::ISODate);
    return t.toUTC();
}

QJsonArray valuesToJson(const Change &c, const QList<Value> &values)
{
    QJsonArray a;
    for (const Value &v : values) {
        if (v.omitted)
            a.append(QJsonObject{{QStringLiteral("size"), double(v.size)},
                                 {QStringLiteral("sha256"), QString::fromLatin1(v.sha256Hex)}});
        else if (c.binary)
            a.append(QString::fromLatin1(v.bytes.toBase64()));
        else
            a.append(QString::fromUtf8(v.bytes));
    }
    return a;
}

QList<Value> valuesFromJson(const QJsonArray &a, bool binary)
{
    QList<Value> out;
    for (const QJsonValue &j : a) {
        Value v;
        if (j.isObject()) {
            v.omitted = true;
            v.size = static_cast<qint64>(j.toObject().value(QLatin1String("size")).toDouble());
            v.sha256Hex = j.toObject().value(QLatin1String("sha256")).toString().toLatin1();
        } else {
            v.bytes = binary ? QByteArray::fromBase64(j.toString().toLatin1()) : j.toString().toUtf8();
            v.size = v.bytes.size();
        }
        out.append(v);
    }
    return out;
}

// The common fields of the intent line and the listing.
QJsonObject intentFields(const Entry &e)
{
    QJsonObject o;
    o.insert(QStringLiteral("id"), e.id);
    o.insert(QStringLiteral("time"), timeText(e.time));
    o.insert(QStringLiteral("kind"), e.kind);
    o.insert(QStringLiteral("server"), e.server);
    o.insert(QStringLiteral("identity"), e.identity);
    o.insert(QStringLiteral("dn"), e.dn);
    o.insert(QStringLiteral("guid"), e.guidText());
    o.insert(QStringLiteral("run"), e.run);
    if (!e.runKind.isEmpty())
        o.insert(QStringLiteral("runKind"), e.runKind);
    if (!e.undoes.isEmpty())
        o.insert(QStringLiteral("undoes"), QJsonArray::fromStringList(e.undoes));
    QJsonArray changes;
    for (const Change &c : e.changes) {
        QJsonObject j;
        j.insert(QStringLiteral("attribute"), c.attribute);
        j.insert(QStringLiteral("mode"), c.whole ? QStringLiteral("replace") : QStringLiteral("values"));
        j.insert(QStringLiteral("encoding"), c.binary ? QStringLiteral("base64") : QStringLiteral("text"));
        j.insert(QStringLiteral("before"), valuesToJson(c, c.before));
        j.insert(QStringLiteral("after"), valuesToJson(c, c.after));
        j.insert(QStringLiteral("undo"), ruleName(c.undo));
        if (c.secret)
            j.insert(QStringLiteral("secret"), true);
        if (!c.why.isEmpty())
            j.insert(QStringLiteral("why"), c.why);
        changes.append(j);
    }
    o.insert(QStringLiteral("changes"), changes);
    return o;
}

QByteArray line(const QJsonObject &o)
{
    // {"v":1, first: a reader looks for it to find records after a cut line. A JSON string
    // never holds an unescaped quote, so the sequence cannot occur inside a value.
    const QByteArray body = QJsonDocument(o).toJson(QJsonDocument::Compact);
    return QByteArrayLiteral("{\"v\":1,") + body.mid(1) + '\n';
}

} // namespace

AttributeRule ruleFor(const QString &attribute, bool confidential)
{
    for (const KnownRule &k : kRules)
        if (attribute.compare(QLatin1String(k.name), Qt::CaseInsensitive) == 0)
            return {k.undo, k.secret, QString::fromLatin1(k.why)};
    if (confidential)
        return {UndoRule::None, true, QStringLiteral("the schema marks the attribute confidential: it is never recorded")};
    return {};
}

QString ruleName(UndoRule rule)
{
    switch (rule) {
    case UndoRule::Values: return QStringLiteral("values");
    case UndoRule::ReplaceIfUnchanged: return QStringLiteral("replace-if-unchanged");
    case UndoRule::None: return QStringLiteral("none");
    }
    return QStringLiteral("none");
}

UndoRule ruleFromName(const QString &name)
{
    if (name == QLatin1String("values"))
        return UndoRule::Values;
    if (name == QLatin1String("replace-if-unchanged"))
        return UndoRule::ReplaceIfUnchanged;
    return UndoRule::None;
}

QString outcomeName(Outcome o)
{
    switch (o) {
    case Outcome::Written: return QStringLiteral("written");
    case Outcome::Refused: return QStringLiteral("refused");
    case Outcome::NotKnown: return QStringLiteral("not known");
    }
    return QStringLiteral("not known");
}

bool Change::undoable() const { return notUndoableReason().isEmpty(); }

QString Change::notUndoableReason() const
{
    if (undo == UndoRule::None)
        return why.isEmpty() ? QStringLiteral("%1 cannot be written back").arg(attribute) : why;
    if (secret)
        return QStringLiteral("the values of %1 were not recorded").arg(attribute);
    for (const QList<Value> *list : {&before, &after})
        for (const Value &v : *list)
            if (v.omitted)
                return QStringLiteral("a value of %1 was too large to keep (only its size and hash were recorded)")
                    .arg(attribute);
    return {};
}

QString Entry::guidText() const { return guid.isEmpty() ? QString() : ads::guidToString(guid); }

bool Entry::undoable() const { return notUndoableReason().isEmpty(); }

QString Entry::notUndoableReason() const
{
    if (outcomeRecorded && outcome == Outcome::Refused)
        return QStringLiteral("the directory refused the change: nothing was written");
    if (kind == QLatin1String("add"))
        return QStringLiteral("an object the program added is not deleted by undo");
    if (kind == QLatin1String("delete"))
        return QStringLiteral("a deleted object cannot be brought back");
    if (kind == QLatin1String("password"))
        return QStringLiteral("a password is never recorded, so it cannot be put back");
    QString first;
    for (const Change &c : changes) {
        if (c.undoable())
            return {};
        if (first.isEmpty())
            first = c.notUndoableReason();
    }
    return first.isEmpty() ? QStringLiteral("nothing was changed") : first;
}

const QList<QByteArray> *Entry::storedValues(const QString &attribute) const
{
    for (const auto &s : stored)
        if (s.first.compare(attribute, Qt::CaseInsensitive) == 0)
            return &s.second;
    return nullptr;
}

Entry entryFromRequest(const ads::WriteRequest &request)
{
    Entry e;
    e.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    e.time = QDateTime::currentDateTimeUtc();
    e.kind = kindName(request.kind);
    e.server = request.server;
    e.identity = request.identity;
    e.dn = request.dn;
    e.guid = request.guid;
    qint64 budget = kValueBudget;
    auto keep = [&budget](const QByteArray &bytes) {
        Value v;
        v.size = bytes.size();
        if (bytes.size() <= budget) {
            v.bytes = bytes;
            budget -= bytes.size();
        } else {
            v.omitted = true;
            v.sha256Hex = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
        }
        return v;
    };
    for (const ads::WriteChange &w : request.changes) {
        Change c;
        c.attribute = w.attribute;
        c.whole = w.whole;
        const AttributeRule rule = ruleFor(w.attribute, w.confidential);
        c.undo = rule.undo;
        c.secret = rule.secret;
        c.why = rule.why;
        if (!c.secret) {
            c.binary = binaryType(w.type);
            for (const QList<QByteArray> *list : {&w.before, &w.after})
                for (const QByteArray &b : *list)
                    c.binary = c.binary || !validUtf8(b);
            for (const QByteArray &b : w.before)
                c.before.append(keep(b));
            for (const QByteArray &b : w.after)
                c.after.append(keep(b));
        }
        e.changes.append(c);
    }
    return e;
}

QByteArray intentLine(const Entry &e)
{
    QJsonObject o = intentFields(e);
    o.insert(QStringLiteral("type"), QStringLiteral("intent"));
    return line(o);
}

QByteArray outcomeLine(const Entry &e)
{
    QJsonObject o;
    o.insert(QStringLiteral("type"), QStringLiteral("outcome"));
    o.insert(QStringLiteral("id"), e.id);
    o.insert(QStringLiteral("time"), timeText(e.outcomeTime));
    o.insert(QStringLiteral("outcome"), outcomeName(e.outcome));
    o.insert(QStringLiteral("status"), e.status);
    if (!e.reason.isEmpty())
        o.insert(QStringLiteral("reason"), e.reason);
    if (!e.guid.isEmpty())
        o.insert(QStringLiteral("guid"), e.guidText());
    if (!e.stored.isEmpty()) {
        QJsonArray stored;
        for (const auto &[name, values] : e.stored) {
            QJsonArray vals;
            for (const QByteArray &v : values)
                vals.append(QString::fromLatin1(v.toBase64()));
            stored.append(QJsonObject{{QStringLiteral("attribute"), name}, {QStringLiteral("values"), vals}});
        }
        o.insert(QStringLiteral("stored"), stored);
    }
    return line(o);
}

bool parseRecord(const QByteArray &text, Record *out)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    const QJsonObject o = doc.object();
    if (o.value(QLatin1String("v")).toInt() != 1)
        return false;
    const QString type = o.value(QLatin1String("type")).toString();
    Entry &e = out->entry;
    e = Entry();
    e.id = o.value(QLatin1String("id")).toString();
    if (e.id.isEmpty())
        return false;
    const QString guid = o.value(QLatin1String("guid")).toString();
    if (!guid.isEmpty())
        e.guid = ads::guidFromString(guid);
    if (type == QLatin1String("outcome")) {
        out->intent = false;
        e.outcomeRecorded = true;
        e.outcomeTime = parseTime(o.value(QLatin1String("time")).toString());
        const QString outcome = o.value(QLatin1String("outcome")).toString();
        e.outcome = outcome == QLatin1String("written")   ? Outcome::Written
                    : outcome == QLatin1String("refused") ? Outcome::Refused
                                                          : Outcome::NotKnown;
        e.status = o.value(QLatin1String("status")).toString();
        e.reason = o.value(QLatin1String("reason")).toString();
        for (const QJsonValue &s : o.value(QLatin1String("stored")).toArray()) {
            QList<QByteArray> values;
            for (const QJsonValue &v : s.toObject().value(QLatin1String("values")).toArray())
                values.append(QByteArray::fromBase64(v.toString().toLatin1()));
            e.stored.append({s.toObject().value(QLatin1String("attribute")).toString(), values});
        }
        return true;
    }
    if (type != QLatin1String("intent"))
        return false;
    out->intent = true;
    e.time = parseTime(o.value(QLatin1String("time")).toString());
    if (!e.time.isValid())
        return false;
    e.kind = o.value(QLatin1String("kind")).toString();
    e.server = o.value(QLatin1String("server")).toString();
    e.identity = o.value(QLatin1String("identity")).toString();
    e.dn = o.value(QLatin1String("dn")).toString();
    e.run = o.value(QLatin1String("run")).toString();
    e.runKind = o.value(QLatin1String("runKind")).toString();
    for (const QJsonValue &u : o.value(QLatin1String("undoes")).toArray())
        e.undoes.append(u.toString());
    for (const QJsonValue &cv : o.value(QLatin1String("changes")).toArray()) {
        const QJsonObject j = cv.toObject();
        Change c;
        c.attribute = j.value(QLatin1String("attribute")).toString();
        c.whole = j.value(QLatin1String("mode")).toString() != QLatin1String("values");
        c.binary = j.value(QLatin1String("encoding")).toString() == QLatin1String("base64");
        c.secret = j.value(QLatin1String("secret")).toBool();
        c.undo = ruleFromName(j.value(QLatin1String("undo")).toString());
        c.why = j.value(QLatin1String("why")).toString();
        c.before = valuesFromJson(j.value(QLatin1String("before")).toArray(), c.binary);
        c.after = valuesFromJson(j.value(QLatin1String("after")).toArray(), c.binary);
        e.changes.append(c);
    }
    return true;
}

void applyOutcome(Entry &entry, const Entry &o)
{
    entry.outcomeRecorded = true;
    entry.outcome = o.outcome;
    entry.status = o.status;
    entry.reason = o.reason;
    entry.outcomeTime = o.outcomeTime;
    entry.stored = o.stored;
    if (entry.guid.isEmpty())
        entry.guid = o.guid;  // an added object's GUID is known only afterwards
}

QJsonObject entryToJson(const Entry &e)
{
    QJsonObject o = intentFields(e);
    o.insert(QStringLiteral("outcome"), outcomeName(e.outcome));
    o.insert(QStringLiteral("status"), e.status);
    QString reason = e.reason;
    if (!e.outcomeRecorded && reason.isEmpty())
        reason = QStringLiteral("no outcome was recorded: the program ended before the directory answered");
    if (!reason.isEmpty())
        o.insert(QStringLiteral("reason"), reason);
    o.insert(QStringLiteral("undoable"), e.undoable());
    if (!e.undoable())
        o.insert(QStringLiteral("whyNotUndoable"), e.notUndoableReason());
    return o;
}

QString valueText(const Change &c, const Value &v)
{
    if (v.omitted)
        return QStringLiteral("(%1 bytes, sha256 %2)").arg(v.size).arg(QString::fromLatin1(v.sha256Hex));
    if (c.binary)
        return QString::fromLatin1(v.bytes.toBase64());
    return QString::fromUtf8(v.bytes);
}

} // namespace journal
