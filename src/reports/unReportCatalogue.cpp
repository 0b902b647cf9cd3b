#include "reports/unReportCatalogue.h"

#include "core/unValuesTime.h"
#include "main/unCatalogue.h"
#include "query/filtercompose.h"

#include <QDateTime>

namespace reports {

namespace {

const char *const kInChain = "memberOf:1.2.840.113556.1.4.1941:";
const qint64 kDay100ns = 864000000000LL;

QString uac(quint32 bits) { return query::bitsAllSet(QStringLiteral("userAccountControl"), bits); }

// (&(objectCategory=person)(objectClass=user)...terms)
QString users(const QStringList &terms)
{
    QStringList all{query::equals(QStringLiteral("objectCategory"), QStringLiteral("person")),
                    query::equals(QStringLiteral("objectClass"), QStringLiteral("user"))};
    for (const QString &t : terms)
        if (!t.isEmpty())
            all << query::asTerm(t);
    return query::andOf(all);
}

// (&(objectClass=Group)(objectCategory=Group)...terms)
QString groups(const QStringList &terms)
{
    QStringList all{query::equals(QStringLiteral("objectClass"), QStringLiteral("Group")),
                    query::equals(QStringLiteral("objectCategory"), QStringLiteral("Group"))};
    for (const QString &t : terms)
        if (!t.isEmpty())
            all << query::asTerm(t);
    return query::andOf(all);
}

QString present(const char *a) { return query::present(QString::fromLatin1(a)); }
QString notPresent(const char *a) { return query::notOf(present(a)); }
QString ft(double localDateTime) { return QString::number(DateTimeToFileTime(localDateTime)); }
// A filter that matches nothing: every object has an objectClass.
QString nothing() { return query::notOf(present("objectClass")); }

// Local date-time with minutes (and below) set to zero.
double hourOf(double dt)
{
    const TDateTimeParts p = DecodeDateTime(dt);
    return EncodeDateTime(p.year, p.month, p.day, p.hour);
}

double minuteOf(double dt)
{
    const TDateTimeParts p = DecodeDateTime(dt);
    return EncodeDateTime(p.year, p.month, p.day, p.hour, p.minute);
}

ReportInfo make(int number, int tab, const QString &choice, const QString &title,
                ReportKind kind = ReportKind::User)
{
    ReportInfo r;
    r.number = number;
    r.tab = tab;
    r.choice = choice;
    r.title = title;
    r.kind = kind;
    return r;
}

ReportInfo days(ReportInfo r, const char *op, const char *haveNot, const char *loggedTheLast, bool red,
                QStringList shown)
{
    r.parameter = ParameterKind::Days;
    r.daysOperator = QString::fromLatin1(op);
    r.haveNot = QString::fromLatin1(haveNot);
    r.loggedTheLast = QString::fromLatin1(loggedTheLast);
    r.redWord = red;
    r.shown = std::move(shown);
    return r;
}

ReportInfo shows(ReportInfo r, QStringList shown)
{
    r.shown = std::move(shown);
    return r;
}

QList<ReportInfo> buildReports()
{
    using K = ReportKind;
    const K G = K::Group;
    QList<ReportInfo> l;
    l << make(0, 0, QStringLiteral("All Groups"), QStringLiteral("All Groups"), G);
    l << make(1, 0, QStringLiteral("Managed Groups"), QStringLiteral("Managed Groups"), G);
    ReportInfo unmanaged = make(2, 0, QStringLiteral("Unmanaged Groups"), QStringLiteral("Unmanaged Groups"), G);
    unmanaged.hidden = {QStringLiteral("managedBy")};
    l << unmanaged;
    l << make(3, 0, QStringLiteral("Groups without Members"), QStringLiteral("Groups without Members"), G);

    const QStringList logon{QStringLiteral("lastLogon"), QStringLiteral("lastLogoff"), QStringLiteral("lastLogonTimestamp")};
    const QStringList expiry{QStringLiteral("accountExpires"), QStringLiteral("whenChanged")};
    l << days(make(4, 1, QStringLiteral("Inactive Users"), QStringLiteral("Inactive Users")), "<=", "have not ",
              "logged in the last", true, logon);
    l << days(make(5, 1, QStringLiteral("Recently Logged on Users"), QStringLiteral("Recently Logged on Users")),
              ">=", "have", "logged in the last", false, logon);
    l << days(make(6, 1, QStringLiteral("Recently Created Users"), QStringLiteral("Recently Created Users")), ">=",
              "have ", "created in the last", false, {QStringLiteral("whenCreated")});
    l << days(make(7, 1, QStringLiteral("Recently Modified Users"), QStringLiteral("Recently Modified Users")),
              ">=", "have ", "modified in the last", false, {QStringLiteral("whenChanged")});
    l << make(8, 1, QStringLiteral("Users Accounts \"Never Expires\""),
              QStringLiteral("Users where Account \"Never Expires\""));
    l << shows(make(9, 1, QStringLiteral("Account Expired Users"), QStringLiteral("Account Expired Users")), expiry);
    l << days(make(10, 1, QStringLiteral("Recently Account Expired Users"),
                   QStringLiteral("Recently Account Expired Users")),
              "<=", "have ", "Expired in the last", false, expiry);
    l << days(make(11, 1, QStringLiteral("Accounts that will Expire "), QStringLiteral("Accounts That Will Expire")),
              ">=", "will ", "Expire in next", true, expiry);

    l << shows(make(12, 2, QStringLiteral("Users With Logon Script"), QStringLiteral("Users With Logon Script")),
               {QStringLiteral("scriptPath")});
    l << make(13, 2, QStringLiteral("Users Without Logon Script"), QStringLiteral("Users Without Logon Script"));
    l << make(14, 2, QStringLiteral("Disabled Users"), QStringLiteral("Disabled Users"));
    ReportInfo locked = make(15, 2, QStringLiteral("Locked Out Users"), QStringLiteral("Locked Out Users"));
    locked.computedBit = kComputedLockout;
    l << locked;
    l << make(16, 2, QStringLiteral("Users Never Logged On"), QStringLiteral("Users Never Logged On"));
    l << shows(make(17, 2, QStringLiteral("Mail Enabled Users"), QStringLiteral("Mail Enabled Users")),
               {QStringLiteral("mail")});
    ReportInfo inGroup = make(18, 2, QStringLiteral("Users in a Group"), QStringLiteral("Users In a Group"));
    inGroup.parameter = ParameterKind::Group;
    l << inGroup;
    ReportInfo primary = make(19, 2, QStringLiteral("Users Primary Group "), QStringLiteral("Users Primary Group"));
    primary.parameter = ParameterKind::Group;
    l << primary;

    ReportInfo expired = make(20, 3, QStringLiteral("Password Expired Users"), QStringLiteral("Password Expired Users"));
    expired.computedBit = kComputedPasswordExpired;
    l << expired;
    l << make(21, 3, QStringLiteral("Users With \"Pass. Never Expires\""),
              QStringLiteral("Users With \"Password Never Expires\""));
    l << make(22, 3, QStringLiteral("Users \"Change Pass. Next Logon\""),
              QStringLiteral("Users \"Change Password at Next Logon\""));
    const QStringList pwd{QStringLiteral("pwdLastSet")};
    l << days(make(23, 3, QStringLiteral("Users \"Bad Logged On\" "), QStringLiteral("Users \"Bad Logged On\"")),
              ">=", "have", "failed to login in the last", false, {QStringLiteral("badPasswordTime")});
    l << days(make(24, 3, QStringLiteral("Users \"Password Unchanged\""), QStringLiteral("Users \"Password Unchanged\"")),
              "<=", "have not ", "modified password in the last", true, pwd);
    l << days(make(25, 3, QStringLiteral("Users \"Password Changed\""), QStringLiteral("Users \"Password Changed\"")),
              ">=", "have ", "modified password in the last", false, pwd);
    l << days(make(26, 3, QStringLiteral("Users \"Password Will Expire\""),
                   QStringLiteral("Users \"Password Will Expire\"")),
              "<=", "will ", "password expire in next", true, pwd);

    l << shows(make(27, 4, QStringLiteral("Users MailBox Enabled"), QStringLiteral("Users MailBox Enabled")),
               {QStringLiteral("homeMDB")});
    l << shows(make(28, 4, QStringLiteral("Users Mail Enabled"), QStringLiteral("Users Mail Enabled")),
               {QStringLiteral("mailNickname")});
    l << shows(make(29, 4, QStringLiteral("Users Hidden from GAL"), QStringLiteral("Users Hidden From GAL")),
               {QStringLiteral("mailNickname")});
    l << make(30, 4, QStringLiteral("Distribution Lists"), QStringLiteral("Distribution Lists"), G);
    l << make(31, 4, QStringLiteral("Distribution Lists Hidden from GAL"),
              QStringLiteral("Distribution Lists Hidden From GAL"), G);
    l << make(32, 4, QStringLiteral("Groups Mail Enabled "), QStringLiteral("Groups Mail Enabled"), G);
    ReportInfo dynamic = make(33, 4, QStringLiteral("Members of Dynamic Distr. Group"),
                              QStringLiteral("Members of Dynamic Distr. Group"));
    dynamic.parameter = ParameterKind::DynamicGroup;
    l << dynamic;
    return l;
}

} // namespace

const QList<ReportInfo> &reportList()
{
    static const QList<ReportInfo> list = buildReports();
    return list;
}

const ReportInfo *reportByNumber(int number)
{
    const auto &l = reportList();
    return number >= 0 && number < l.size() ? &l[number] : nullptr;
}

const QList<TabInfo> &tabs()
{
    static const QList<TabInfo> list = [] {
        const QStringList captions{QStringLiteral("Groups"), QStringLiteral("Users"), QStringLiteral("Users 2"),
                                   QStringLiteral("Users 3"), QStringLiteral("Exchange")};
        QList<TabInfo> t;
        for (int i = 0; i < captions.size(); ++i)
            t << TabInfo{captions[i], -1, {}};
        for (const ReportInfo &r : reportList()) {
            TabInfo &tab = t[r.tab];
            if (tab.offset < 0)
                tab.offset = r.number;
            tab.items << r.choice;
        }
        return t;
    }();
    return list;
}

QList<ReportColumn> columnSet(ReportKind kind, const DomainSettings &domain)
{
    QList<ReportColumn> cols;
    if (kind == ReportKind::Group) {
        // The group table's keys in the order the report grid shows them.
        for (int key : {0, 1, 4, 9, 2, 5, 6, 7, 8, 10, 3, 11, 12, 13, 14}) {
            const ADSIUserField *f = EntryByKeyIn(GroupTable, key);
            if (!f)
                continue;
            const QString name = f->ldapName.toString();
            cols << ReportColumn{key, name, f->caption.toString(),
                                 name == QLatin1String("whenCreated") || name == QLatin1String("whenChanged"),
                                 name.startsWith(QLatin1String("uSN"))};
        }
        return cols;
    }
    QStringList names{
        QStringLiteral("cn"), QStringLiteral("givenName"), QStringLiteral("sn"), QStringLiteral("displayName"),
        QStringLiteral("description"), QStringLiteral("physicalDeliveryOfficeName"), QStringLiteral("telephoneNumber"),
        QStringLiteral("mail"), QStringLiteral("userPrincipalName"), QStringLiteral("sAMAccountname"),
        QStringLiteral("accountExpires"), QStringLiteral("department"), QStringLiteral("manager"),
        QStringLiteral("scriptPath"), QStringLiteral("homePhone"), QStringLiteral("facsimileTelephoneNumber"),
        QStringLiteral("homeMDB"), QStringLiteral("mailNickname"), QStringLiteral("badPasswordTime"),
        QStringLiteral("lastLogon"), QStringLiteral("lastLogoff"), QStringLiteral("logonCount"),
        QStringLiteral("pwdLastSet"), QStringLiteral("whenCreated"), QStringLiteral("whenChanged"),
        QStringLiteral("uSNCreated"), QStringLiteral("uSNChanged"), QStringLiteral("canonicalName")};
    if (domain.domainFunctionality >= 2)
        names << QStringLiteral("lastLogonTimestamp");
    // Without Exchange its columns are neither shown nor offered by the column chooser.
    if (!domain.exchange) {
        names.removeAll(QStringLiteral("homeMDB"));
        names.removeAll(QStringLiteral("mailNickname"));
    }
    static const QStringList dates{QStringLiteral("accountExpires"), QStringLiteral("badPasswordTime"),
                                   QStringLiteral("lastLogon"),      QStringLiteral("lastLogoff"),
                                   QStringLiteral("pwdLastSet"),     QStringLiteral("whenCreated"),
                                   QStringLiteral("whenChanged"),    QStringLiteral("lastLogonTimestamp")};
    for (const QString &n : names) {
        const ADSIUserField *f = EntryByLdapName(n);
        if (!f)
            continue;
        cols << ReportColumn{f->key, f->ldapName.toString(), f->caption.toString(),
                             dates.contains(n, Qt::CaseInsensitive),
                             n == QLatin1String("logonCount") || n.startsWith(QLatin1String("uSN"))};
    }
    return cols;
}

QSet<int> initialHidden(const ReportInfo &report, const QList<ReportColumn> &columns, const DomainSettings &domain)
{
    QSet<int> hidden;
    for (int i = 0; i < columns.size(); ++i) {
        const ReportColumn &c = columns[i];
        const bool shownByDefault = report.kind == ReportKind::Group ? i < 5 : i < 4;
        bool visible = shownByDefault || report.shown.contains(c.ldapName, Qt::CaseInsensitive);
        if (report.hidden.contains(c.ldapName, Qt::CaseInsensitive))
            visible = false;
        if (!domain.exchange && report.kind == ReportKind::User &&
            (c.ldapName.compare(QLatin1String("homeMDB"), Qt::CaseInsensitive) == 0 ||
             c.ldapName.compare(QLatin1String("mailNickname"), Qt::CaseInsensitive) == 0))
            visible = false;
        if (!visible)
            hidden.insert(c.key);
    }
    return hidden;
}

QString daysAttribute(const ReportInfo &report, const DomainSettings &domain)
{
    const bool level2 = domain.domainFunctionality >= 2;
    switch (report.number) {
    case 4:
    case 5:
        // lastLogon is kept by each controller on its own and never replicated, so one
        // controller's value says little about a user who logs on elsewhere; the replicated
        // lastLogonTimestamp (exact to the synchronisation interval, the dialog's step) is
        // the domain-wide answer wherever the domain maintains it.
        return level2 ? QStringLiteral("lastLogonTimestamp") : QStringLiteral("lastLogon");
    case 6:
        return level2 ? QStringLiteral("createTimeStamp") : QStringLiteral("whenCreated");
    case 7:
        return level2 ? QStringLiteral("modifyTimeStamp") : QStringLiteral("whenChanged");
    case 10:
    case 11:
        return QStringLiteral("accountExpires");
    case 23:
        return QStringLiteral("badPasswordTime");
    case 24:
    case 25:
    case 26:
        return QStringLiteral("pwdLastSet");
    default:
        return {};
    }
}

int daysListStep(const DomainSettings &domain)
{
    if (domain.domainFunctionality >= 2)
        return domain.logonTimeSyncIntervalDays > 0 ? domain.logonTimeSyncIntervalDays : 15;
    return 5;
}

int daysCheckStep(const ReportInfo &report, const DomainSettings &domain)
{
    return report.number >= 23 && report.number <= 26 ? 1 : daysListStep(domain);
}

int normaliseDays(const QString &text, int step)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < step)
        return step;
    return n;
}

double localNow()
{
    const QDateTime now = QDateTime::currentDateTime().toTimeZone(CurrentTimeZone());
    const QDate d = now.date();
    const QTime t = now.time();
    return EncodeDateTime(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec());
}

QString daysCondition(const ReportInfo &report, int days, const DomainSettings &domain, double now)
{
    const QString attr = daysAttribute(report, domain);
    if (attr.isEmpty())
        return {};
    const double h = hourOf(now);
    if (attr == QLatin1String("whenCreated") || attr == QLatin1String("whenChanged") ||
        attr == QLatin1String("createTimeStamp") || attr == QLatin1String("modifyTimeStamp"))
        return query::greaterOrEqual(attr, DateTimeToGeneralizedTime(h - days, true));
    if (report.number == 10)
        return query::andOf({query::greaterOrEqual(attr, ft(h - days)), query::lessOrEqual(attr, ft(h))});
    if (report.number == 11)
        return query::andOf({query::greaterOrEqual(attr, ft(h)), query::lessOrEqual(attr, ft(h + days))});
    if (report.number == 26) {
        if (domain.maxPasswordAgeDays <= 0)
            return nothing();  // passwords never expire in this domain
        // Changed so long ago that the password expires within the days, but not so long
        // ago that it has expired already (those are the "Password Expired Users").
        const double base = minuteOf(now);
        const double t = base + days - domain.maxPasswordAgeDays;
        const double expiredBefore = base - domain.maxPasswordAgeDays;
        return query::andOf({query::lessOrEqual(attr, ft(t)), query::greaterOrEqual(attr, ft(expiredBefore))});
    }
    return report.daysOperator == QLatin1String("<=") ? query::lessOrEqual(attr, ft(h - days))
                                                       : query::greaterOrEqual(attr, ft(h - days));
}

QString groupCondition(int number, const QString &groupDn, int primaryGroupToken)
{
    const QString primary = query::equals(QStringLiteral("primaryGroupID"), QString::number(primaryGroupToken));
    if (number == 19)
        return primary;
    return query::orOf({query::equals(QString::fromLatin1(kInChain), groupDn), primary});
}

QString reportFilter(const ReportInfo &report, const QString &c, const DomainSettings &domain, double now)
{
    const QString mailNick = present("mailNickname");
    const QString notSecurity = query::notOf(query::bitsAllSet(QStringLiteral("groupType"), 0x80000000u));
    switch (report.number) {
    case 0: return groups({});
    case 1: return groups({present("managedBy")});
    case 2: return groups({notPresent("managedBy")});
    case 3: return groups({notPresent("member")});
    // Directories create every user with lastLogoff and never update it, so only the
    // logon-age condition decides who is inactive.
    case 4:
    case 5:
    case 6:
    case 7:
    case 10:
    case 11:
    case 23:
    case 25: return users({c});
    // Without its group the condition would be dropped and the report would list every user.
    case 18:
    case 19: return c.trimmed().isEmpty() ? QString() : users({c});
    case 8:
        return users({query::orOf({query::equals(QStringLiteral("accountExpires"), QStringLiteral("0")),
                                   query::equals(QStringLiteral("accountExpires"),
                                                 QStringLiteral("9223372036854775807"))})});
    case 9:
        return users({query::notOf(query::equals(QStringLiteral("accountExpires"), QStringLiteral("0"))),
                      query::lessOrEqual(QStringLiteral("accountExpires"), ft(hourOf(now)))});
    case 12: return users({present("scriptPath")});
    case 13: return users({notPresent("scriptPath")});
    case 14: return users({uac(2)});
    case 15:
        // The lockout lives in the computed control only; lockoutTime names the candidates,
        // the runner keeps those whose computed control has the lockout bit.
        return users({query::greaterOrEqual(QStringLiteral("lockoutTime"), QStringLiteral("1"))});
    case 16:
        if (domain.domainFunctionality >= 2)
            return users({query::orOf({notPresent("lastLogonTimeStamp"),
                                       query::equals(QStringLiteral("lastLogon"), QStringLiteral("0")),
                                       notPresent("lastLogon")})});
        return users({query::orOf({query::equals(QStringLiteral("lastLogon"), QStringLiteral("0")),
                                   notPresent("lastLogon")})});
    case 17: return users({present("mail")});
    case 20: {
        // Candidates: passwords set before now minus the shortest maximum age in force (a day
        // of slack for clocks), which includes "must change" (0); the runner keeps the users
        // whose computed control has the expired bit.
        if (domain.shortestMaxPasswordAge <= 0)
            return users({query::equals(QStringLiteral("pwdLastSet"), QStringLiteral("0"))});
        const qint64 limit = DateTimeToFileTime(now) - domain.shortestMaxPasswordAge + kDay100ns;
        return users({query::lessOrEqual(QStringLiteral("pwdLastSet"), QString::number(limit))});
    }
    case 21: return users({uac(65536)});
    case 22:
        return users({query::equals(QStringLiteral("pwdLastSet"), QStringLiteral("0")), query::notOf(uac(65536))});
    case 24:
        return users({query::notOf(query::equals(QStringLiteral("pwdLastSet"), QStringLiteral("0"))), c});
    case 26: return users({c, query::notOf(uac(2)), query::notOf(uac(65536))});
    case 27: return users({present("msExchHomeServerName"), present("homeMDB")});
    case 28: return users({notPresent("msExchHomeServerName"), notPresent("homeMDB"), mailNick});
    case 29:
        return users({query::equals(QStringLiteral("msExchHideFromAddressLists"), QStringLiteral("TRUE"))});
    case 30: return groups({mailNick, notSecurity});
    case 31:
        return groups({mailNick, query::equals(QStringLiteral("msExchHideFromAddressLists"), QStringLiteral("TRUE")),
                       notSecurity});
    case 32: return groups({mailNick});
    case 33: return c.trimmed().isEmpty() ? QString() : query::asTerm(c.trimmed());
    default: return {};
    }
}

QString statusText(const ReportInfo &report, const QString &daysText, const QString &groupName)
{
    if (report.parameter == ParameterKind::Days && !daysText.isEmpty())
        return report.title + QStringLiteral(" - ") + daysText + QStringLiteral(" days");
    if ((report.parameter == ParameterKind::Group || report.parameter == ParameterKind::DynamicGroup) &&
        !groupName.isEmpty())
        return report.title + QStringLiteral(" - ") + groupName;
    return report.title;
}

} // namespace reports
