#include "query/filterconditions.h"

#include "core/unValues.h"
#include "core/unValuesTime.h"
#include "main/unCatalogue.h"
#include "query/filtercompose.h"

#include <QByteArray>

#include <cmath>

namespace query {

namespace {

const QString kUac = QStringLiteral("userAccountControl");
const QString kUacBitRule = QStringLiteral("userAccountControl:1.2.840.113556.1.4.803:");
constexpr quint32 kDontExpirePassword = 0x10000;

const char *const kConditionTexts[] = {"Starts with", "Ends with",   "Is (exactly)", "Is not",
                                       "Present",     "Not present", "Containing"};

// The bits the older account-state terms tested; still read from stored queries.
struct OldBit {
    quint32 bit;
    AccountFlag flag;
};
const OldBit kOldBits[] = {{2, AccountFlag::Disabled}, {8388608, AccountFlag::Expired}, {16, AccountFlag::Locked}};

bool isHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

QString stripOnePair(const QString &t)
{
    QString s = t;
    if (s.startsWith(u'('))
        s.remove(0, 1);
    if (s.endsWith(u')'))
        s.chop(1);
    return s;
}

QString termOf(const ConditionRow &r)
{
    const QString &a = r.attribute;
    const QString &v = r.value;
    switch (r.cond) {
    case Condition::StartsWith: return startsWith(a, v);
    case Condition::EndsWith: return endsWith(a, v);
    case Condition::IsExactly: return equals(a, v);
    case Condition::IsNot: return notOf(equals(a, v));
    case Condition::Present: return present(a);
    case Condition::NotPresent: return notOf(present(a));
    case Condition::Containing: return contains(a, v);
    }
    return {};
}

QString dateText(double localDate)
{
    const TDateTimeParts p = DecodeDateTime(localDate);
    return QDate(p.year, p.month, p.day).toString(QStringLiteral("yyyy-MM-dd"));
}

} // namespace

QStringList conditionTexts()
{
    QStringList out;
    for (const char *t : kConditionTexts)
        out << QString::fromLatin1(t);
    return out;
}

QString conditionText(Condition c)
{
    return QString::fromLatin1(kConditionTexts[static_cast<int>(c)]);
}

int conditionFromText(const QString &text)
{
    for (int i = 0; i < 7; ++i)
        if (text == QLatin1String(kConditionTexts[i]))
            return i;
    return -1;
}

bool conditionNeedsValue(Condition c)
{
    return c != Condition::Present && c != Condition::NotPresent;
}

qint32 accountFlagKey(AccountFlag f)
{
    switch (f) {
    case AccountFlag::Disabled: return 88;
    case AccountFlag::Expired: return 100;
    case AccountFlag::Locked: return 90;
    }
    return -1;
}

QString accountFlagTerm(AccountFlag f, qint64 maxPasswordAgeDays, const QDate &today)
{
    switch (f) {
    case AccountFlag::Disabled:
        return bitsAllSet(kUac, 2);
    case AccountFlag::Locked:
        return greaterOrEqual(QStringLiteral("lockoutTime"), QStringLiteral("1"));
    case AccountFlag::Expired: {
        const QString neverExpires = notOf(bitsAllSet(kUac, kDontExpirePassword));
        const QString age =
            maxPasswordAgeDays > 0
                ? lessOrEqual(QStringLiteral("pwdLastSet"),
                              QString::number(logonAgeFileTime(static_cast<int>(std::min<qint64>(maxPasswordAgeDays, 100000)), today)))
                : equals(QStringLiteral("pwdLastSet"), QStringLiteral("0"));
        return andOf({age, neverExpires});
    }
    }
    return {};
}

QString decodeFilterValue(const QString &value)
{
    QByteArray bytes;
    bytes.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'\\' && i + 2 < value.size() && isHex(value.at(i + 1)) && isHex(value.at(i + 2))) {
            bytes.append(static_cast<char>(value.mid(i + 1, 2).toUInt(nullptr, 16)));
            i += 2;
            continue;
        }
        // Surrogate pairs are taken whole so that they convert as one character.
        if (c.isHighSurrogate() && i + 1 < value.size() && value.at(i + 1).isLowSurrogate()) {
            bytes.append(value.mid(i, 2).toUtf8());
            ++i;
            continue;
        }
        bytes.append(QString(c).toUtf8());
    }
    return QString::fromUtf8(bytes);
}

QStringList fragmentTerms(const QString &fragment)
{
    QStringList out;
    qsizetype i = 0;
    while (i < fragment.size()) {
        if (fragment.at(i) != u'(') {
            ++i;
            continue;
        }
        const qsizetype end = closingParenthesis(fragment, i);
        if (end < 0)
            break;
        out << fragment.mid(i, end - i + 1);
        i = end + 1;
    }
    return out;
}

QString userFilter(const QString &fragment)
{
    return QStringLiteral("(&(objectCategory=person)(objectClass=user)%1)").arg(fragment);
}

bool isValidFragment(const QString &fragment, QString *error)
{
    return isValidFilter(userFilter(fragment.trimmed()), error);
}

QList<FieldChoice> filterFieldChoices()
{
    QList<FieldChoice> out;
    for (const ADSIUserField &e : catalogue::userFields()) {
        FieldChoice c;
        c.key = e.key;
        c.caption = e.caption.toString();
        c.description = e.description.toString();
        if (e.isHeader()) {
            if (e.key < 1001 || e.key > 1009)
                continue;
            c.header = true;
        } else {
            if (!e.isFilterField() || (e.type != FieldType::Text && e.type != FieldType::Integer) ||
                !AttributeInSchema(e.ldapName.toString()))
                continue;
            c.sortKey = e.sortFlag;
        }
        out << c;
    }
    return out;
}

// ---- FilterConditions ---------------------------------------------------------------------

FilterConditions::FilterConditions() : rule_(query::lastLogonRule(2, 15)) {}

int FilterConditions::indexOfKey(qint32 key) const
{
    for (int i = 0; i < rows_.size(); ++i)
        if (rows_.at(i).key == key)
            return i;
    return -1;
}

AddError FilterConditions::add(qint32 key, Condition condition, const QString &value, int *existing)
{
    const ADSIUserField *e = EntryByKey(key);
    if (!e || e->isHeader() || e->ldapName.isEmpty() || e->group == 2001)
        return AddError::UnknownField;
    const int at = indexOfKey(key);
    if (at >= 0) {
        if (existing)
            *existing = at;
        return AddError::Duplicate;
    }
    const QString v = value.trimmed();
    if (conditionNeedsValue(condition) && v.isEmpty())
        return AddError::EmptyValue;
    ConditionRow r;
    r.kind = RowKind::Attribute;
    r.key = key;
    r.attribute = e->ldapName.toString();
    r.caption = e->caption.toString();
    r.cond = condition;
    r.condition = conditionText(condition);
    r.value = conditionNeedsValue(condition) ? v : QString();
    rows_ << r;
    return AddError::None;
}

void FilterConditions::removeAt(int index)
{
    if (index < 0 || index >= rows_.size())
        return;
    const ConditionRow r = rows_.at(index);
    if (r.kind == RowKind::AccountControl) {
        setAccountFlag(r.flag, false);
        return;
    }
    if (r.kind == RowKind::LastLogon) {
        lastLogonDays_ = 0;
        lastLogonNot_ = false;
        lastLogonTerm_.clear();
    }
    rows_.removeAt(index);
}

bool FilterConditions::accountFlag(AccountFlag f) const
{
    return indexOfKey(accountFlagKey(f)) >= 0;
}

void FilterConditions::setAccountFlag(AccountFlag f, bool on)
{
    const qint32 key = accountFlagKey(f);
    const int at = indexOfKey(key);
    if (!on) {
        if (at >= 0)
            rows_.removeAt(at);
        return;
    }
    if (at >= 0)
        return;
    ConditionRow r;
    r.kind = RowKind::AccountControl;
    r.key = key;
    r.flag = f;
    r.caption = CaptionByKey(key);
    rows_ << r;
}

void FilterConditions::addLastLogonRow()
{
    const qint32 key = KeyByLdapName(u"lastLogon");
    const int at = indexOfKey(key);
    if (at >= 0)
        rows_.removeAt(at);
    if (lastLogonDays_ == 0 || lastLogonTerm_.isEmpty())
        return;
    // The date the term compares with.
    const qsizetype eq = lastLogonTerm_.indexOf(u'=');
    const qint64 ft = lastLogonTerm_.mid(eq + 1, lastLogonTerm_.size() - eq - 2).toLongLong();
    const std::optional<double> date = FileTimeToLocalDateTime(ft);
    ConditionRow r;
    r.kind = RowKind::LastLogon;
    r.key = key;
    r.attribute = rule_.attribute;
    r.caption = CaptionByKey(key);
    r.condition = lastLogonNot_ ? QStringLiteral("<=") : QStringLiteral(">=");
    r.value = date ? dateText(*date) : QString();
    rows_ << r;
}

void FilterConditions::setLastLogon(int days, bool notLoggedIn)
{
    lastLogonDays_ = std::max(days, 0);
    lastLogonNot_ = notLoggedIn;
    lastLogonTerm_ = query::lastLogonTerm(rule_.attribute, notLoggedIn, lastLogonDays_, today());
    addLastLogonRow();
}

void FilterConditions::clear()
{
    rows_.clear();
    lastLogonDays_ = 0;
    lastLogonNot_ = false;
    lastLogonTerm_.clear();
}

QString FilterConditions::fragment() const
{
    QString out;
    QStringList account;
    for (const ConditionRow &r : rows_) {
        switch (r.kind) {
        case RowKind::Attribute:
            out += termOf(r);
            break;
        case RowKind::LastLogon:
            out += lastLogonTerm_;
            break;
        case RowKind::AccountControl:
            account << accountFlagTerm(r.flag, maxPwdAgeDays_, today());
            break;
        }
    }
    return out + orOf(account);
}

int FilterConditions::parse(const QString &fragment)
{
    clear();
    int skipped = 0;
    for (const QString &t : fragmentTerms(fragment))
        parseTerm(t, &skipped, 0);
    return skipped;
}

bool FilterConditions::parseAccountTerm(const QString &term)
{
    const QString body = stripOnePair(term);
    if (body.startsWith(kUacBitRule + u'=', Qt::CaseInsensitive)) {
        bool ok = false;
        const quint32 bit = body.mid(kUacBitRule.size() + 1).toUInt(&ok);
        for (const OldBit &b : kOldBits)
            if (ok && b.bit == bit)
                setAccountFlag(b.flag, true);
        return true; // other bits of that rule add nothing
    }
    if (body.compare(QLatin1String("lockoutTime>=1"), Qt::CaseInsensitive) == 0) {
        setAccountFlag(AccountFlag::Locked, true);
        return true;
    }
    if (body.startsWith(QLatin1String("&(pwdLastSet"), Qt::CaseInsensitive)) {
        setAccountFlag(AccountFlag::Expired, true);
        return true;
    }
    return false;
}

void FilterConditions::parseLastLogon(const QString &, const QString &body)
{
    const qsizetype eq = body.indexOf(u'=');
    const bool notIn = eq > 0 && body.at(eq - 1) == u'<';
    bool ok = false;
    const qint64 ft = body.mid(eq + 1).trimmed().toLongLong(&ok);
    const std::optional<double> date = ok ? FileTimeToLocalDateTime(ft) : std::nullopt;
    int days = rule_.step;
    if (date) {
        const double midnight = EncodeDateTime(today().year(), today().month(), today().day());
        const double diff = std::fabs(midnight - *date);
        days = diff < 1e7 ? static_cast<int>(std::floor(diff + 0.5)) : rule_.step;
    }
    lastLogonDays_ = std::max(days, rule_.step);
    lastLogonNot_ = notIn;
    // A well-formed term is kept exactly as it was, so the fragment regenerates unchanged;
    // anything else is composed again from the age it stands for.
    const QString attr = body.left(eq > 0 && (body.at(eq - 1) == u'<' || body.at(eq - 1) == u'>') ? eq - 1 : eq);
    const bool wellFormed = ok && ft >= 0 && eq > 0 &&
                            (attr.compare(QLatin1String("lastLogon"), Qt::CaseInsensitive) == 0 ||
                             attr.compare(QLatin1String("lastLogonTimeStamp"), Qt::CaseInsensitive) == 0) &&
                            body.mid(eq + 1) == QString::number(ft);
    lastLogonTerm_ = wellFormed ? QLatin1Char('(') + body + QLatin1Char(')')
                                : query::lastLogonTerm(rule_.attribute, notIn, lastLogonDays_, today());
    addLastLogonRow();
}

void FilterConditions::parseTerm(const QString &term, int *skipped, int depth)
{
    if (parseAccountTerm(term))
        return;
    // "(|...)": the account-state part (or any OR of terms): its terms are read one by one.
    // The fragments the builder makes nest one level; deeper nesting is skipped.
    if (term.startsWith(QLatin1String("(|")) && term.size() > 3) {
        if (depth >= 8) {
            ++*skipped;
            return;
        }
        for (const QString &t : fragmentTerms(term.mid(2, term.size() - 3)))
            parseTerm(t, skipped, depth + 1);
        return;
    }
    QString body = stripOnePair(term);
    bool negated = false;
    if (body.startsWith(u'!')) {
        negated = true;
        body.remove(0, 1);
        // "(!(a=v))" and the older "(!a=v)" both name one negated item.
        if (body.startsWith(u'(') && closingParenthesis(body, 0) == body.size() - 1)
            body = body.mid(1, body.size() - 2);
    }
    const qsizetype eq = body.indexOf(u'=');
    if (eq < 0) {
        ++*skipped;
        return;
    }
    if (!negated && (body.startsWith(QLatin1String("lastLogonTimeStamp"), Qt::CaseInsensitive) ||
                     body.startsWith(QLatin1String("lastLogon"), Qt::CaseInsensitive))) {
        parseLastLogon(term, body);
        return;
    }
    const QString attr = body.left(eq);
    const QString raw = body.mid(eq + 1);
    Condition cond;
    QString value;
    if (raw == QLatin1String("*")) {
        cond = negated ? Condition::NotPresent : Condition::Present;
    } else if (raw.startsWith(u'*') && raw.size() > 1) {
        if (raw.size() > 2 && raw.endsWith(u'*')) {
            cond = Condition::Containing;
            value = raw.mid(1, raw.size() - 2);
        } else {
            cond = Condition::EndsWith;
            value = raw.mid(1);
        }
    } else if (raw.indexOf(u'*') >= 0 && raw.indexOf(u'*') == raw.size() - 1) {
        cond = Condition::StartsWith;
        value = raw.left(raw.size() - 1);
    } else {
        cond = negated ? Condition::IsNot : Condition::IsExactly;
        value = raw;
    }
    const ADSIUserField *e = EntryByLdapName(attr.trimmed());
    if (!e || e->isHeader() || e->group == 2001 || indexOfKey(e->key) >= 0) {
        ++*skipped;
        return;
    }
    ConditionRow r;
    r.kind = RowKind::Attribute;
    r.key = e->key;
    r.attribute = e->ldapName.toString();
    r.caption = e->caption.toString();
    r.cond = cond;
    r.condition = conditionText(cond);
    r.value = decodeFilterValue(value);
    rows_ << r;
}

} // namespace query
