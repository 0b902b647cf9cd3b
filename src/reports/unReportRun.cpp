#include "reports/unReportRun.h"

#include "core/datetimetext.h"
#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "core/unValuesText.h"
#include "core/unValuesTime.h"
#include "platform/adsi/adspath.h"
#include "query/filtercompose.h"

#include <QLocale>

#include <algorithm>
#include <limits>

namespace reports {

namespace {

const qint64 kDay100ns = 864000000000LL;

void prepare(TQelADSISearching &s, const QString &base, const QString &filter, const QString &attributes)
{
    s.setADsPath(base);
    ApplyContextCredentials(s);
    s.setFilter(filter);
    s.setAttributes(attributes);
    s.setSearchScope(2);
}

// A maximum password age as stored (a negative 100-ns interval) as a positive count; 0 when
// passwords never expire (0, or the smallest 64-bit value).
qint64 maxAge(const QVariant &v)
{
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    if (!ok || n >= 0 || n == std::numeric_limits<qint64>::min())
        return 0;
    return -n;
}

QString text(const QVariant &v)
{
    if (v.typeId() == QMetaType::QVariantList) {
        const QVariantList l = v.toList();
        return l.isEmpty() ? QString() : l.first().toString();
    }
    return v.toString();
}

} // namespace

ReportQuery makeQuery(const ReportInfo &report, const QString &filter, const QList<ReportColumn> &columns,
                      int sizeLimit, const QString &base)
{
    ReportQuery q;
    q.base = base.isEmpty() ? ConnectionContext().DomainPath : base;
    q.filter = filter;
    for (const ReportColumn &c : columns)
        q.attributes << c.ldapName;
    q.sizeLimit = std::max(0, sizeLimit);
    q.computedBit = report.computedBit;
    return q;
}

int runReport(const ReportQuery &query, const std::function<bool(const QVariantList &)> &onRow)
{
    return runReport(query, [&](const QVariantList &row, const TSearchEntry &) { return onRow(row); });
}

ReportCursor::ReportCursor(const ReportQuery &query)
    : search_(std::make_unique<TQelADSISearching>()), sizeLimit_(query.sizeLimit), computedBit_(query.computedBit)
{
    QString why;
    if (!query::isValidFilter(query.filter, &why))
        throw EADSISearchException(QStringLiteral("The report's filter is not valid: %1\r\n%2").arg(query.filter, why));
    QStringList attributes = query.attributes;
    computedSlot_ = query.computedBit ? int(attributes.size()) : -1;
    if (query.computedBit)
        attributes << kComputedControl;

    TQelADSISearching &s = *search_;
    prepare(s, query.base, query.filter, attributes.join(QLatin1Char(',')));
    // The server cannot tell which candidates the computed bit keeps, so a limit on those
    // reports counts kept rows here instead.
    const int serverLimit = query.computedBit ? 0 : query.sizeLimit;
    s.setSizeLimit(serverLimit);
    s.setKeepEntries(query.keepEntries);
    s.setPageSize(serverLimit == 0 || serverLimit > 1000 ? 100 : 0);
    s.ExecuteSearch();
}

ReportCursor::~ReportCursor()
{
    // Abandoning is a courtesy to the server; a failure to send it changes nothing here.
    try {
        if (search_)
            search_->CloseSearch();
    } catch (...) {
    }
}

bool ReportCursor::next(QVariantList *values)
{
    if (done_ || (sizeLimit_ > 0 && count_ >= sizeLimit_)) {
        done_ = true;
        return false;
    }
    QVariant row;
    for (;;) {
        if (started_)
            search_->GetNextRow(row);
        else
            search_->GetFirstRow(row);
        started_ = true;
        if (!row.isValid()) {
            done_ = true;
            return false;
        }
        QVariantList v = row.toList();
        bool keep = true;
        if (computedSlot_ >= 0) {
            const QVariant computed = computedSlot_ < v.size() ? v[computedSlot_] : QVariant();
            keep = (static_cast<quint32>(computed.toLongLong()) & computedBit_) != 0;
            if (computedSlot_ < v.size())
                v.resize(computedSlot_);
        }
        if (keep) {
            ++count_;
            *values = std::move(v);
            return true;
        }
    }
}

const TSearchEntry &ReportCursor::entry() const { return search_->CurrentEntry(); }

int runReport(const ReportQuery &query, const std::function<bool(const QVariantList &, const TSearchEntry &)> &onRow)
{
    ReportCursor cursor(query);
    QVariantList values;
    while (cursor.next(&values))
        if (!onRow(values, cursor.entry()))
            break;
    return cursor.count();
}

DomainSettings readDomainSettings()
{
    const TConnectionContext &ctx = ConnectionContext();
    DomainSettings d;
    d.domainDn = ctx.DefaultNamingContext;
    d.domainFunctionality = ctx.DomainFunctionality;
    try {
        TQelADSISearching s;
        prepare(s, ctx.DomainPath, QStringLiteral("(objectClass=*)"),
                QStringLiteral("maxPwdAge,msDS-logonTimeSyncInterval"));
        s.setSearchScope(0);
        s.ExecuteSearch();
        QVariant row;
        s.GetFirstRow(row);
        if (row.isValid()) {
            const QVariantList v = row.toList();
            if (v.size() > 0 && v[0].isValid()) {
                d.shortestMaxPasswordAge = maxAge(v[0]);
                d.maxPasswordAgeDays = d.shortestMaxPasswordAge / kDay100ns;
            }
            bool ok = false;
            const int sync = v.size() > 1 ? v[1].toInt(&ok) : 0;
            if (ok && sync > 0)
                d.logonTimeSyncIntervalDays = sync;
        }
    } catch (const Exception &) {
    }
    // Password settings objects may give some users a shorter maximum age than the domain's.
    try {
        TQelADSISearching s;
        prepare(s, ctx.ServerPrefix + ads::escapePathDn(QStringLiteral("CN=Password Settings Container,CN=System,") +
                                                        ctx.DefaultNamingContext),
                query::equals(QStringLiteral("objectClass"), QStringLiteral("msDS-PasswordSettings")),
                QStringLiteral("msDS-MaximumPasswordAge"));
        s.ExecuteSearch();
        QVariant row;
        for (s.GetFirstRow(row); row.isValid(); s.GetNextRow(row)) {
            const qint64 age = maxAge(row.toList().value(0));
            if (age > 0 && (d.shortestMaxPasswordAge == 0 || age < d.shortestMaxPasswordAge))
                d.shortestMaxPasswordAge = age;
        }
    } catch (const Exception &) {
    }
    if (SchemaLoaded()) {
        d.exchange = AttributeInSchema(QStringLiteral("homeMDB"));
    } else {
        try {
            ads::ObjectPtr rootDse;
            if (ads::succeeded(OpenADsObject(ctx.ServerPrefix + QStringLiteral("RootDSE"), ctx.UserName, ctx.Password,
                                             &rootDse, QString::fromLatin1(ads::IID_IADs), ctx.AuthFlags,
                                             ctx.UseCredentials)) &&
                rootDse) {
                QVariant schema;
                if (ads::succeeded(rootDse->Get(QStringLiteral("schemaNamingContext"), &schema))) {
                    TQelADSISearching s;
                    prepare(s, ctx.ServerPrefix + ads::escapePathDn(text(schema)),
                            query::equals(QStringLiteral("lDAPDisplayName"), QStringLiteral("homeMDB")),
                            QStringLiteral("lDAPDisplayName"));
                    s.setSearchScope(1);
                    s.ExecuteSearch();
                    QVariant row;
                    s.GetFirstRow(row);
                    d.exchange = row.isValid();
                }
            }
        } catch (const Exception &) {
        }
    }
    return d;
}

QList<GroupChoice> loadGroups()
{
    TQelADSISearching s;
    prepare(s, ConnectionContext().DomainPath, QStringLiteral("(&(objectCategory=Group)(objectClass=Group))"),
            QStringLiteral("name,primaryGroupToken,distinguishedName"));
    s.setSizeLimit(0);
    s.ExecuteSearch();
    QList<GroupChoice> out;
    QVariant row;
    for (s.GetFirstRow(row); row.isValid(); s.GetNextRow(row)) {
        const QVariantList v = row.toList();
        out << GroupChoice{text(v.value(0)), text(v.value(2)), v.value(1).toInt()};
    }
    return out;
}

QList<DynamicGroupChoice> loadDynamicGroups()
{
    TQelADSISearching s;
    prepare(s, ConnectionContext().DomainPath,
            QStringLiteral("(&(objectCategory=msExchDynamicDistributionList)(objectClass=msExchDynamicDistributionList))"),
            QStringLiteral("name,groupType,canonicalName,distinguishedName"));
    s.setPageSize(100);
    s.ExecuteSearch();
    QList<DynamicGroupChoice> out;
    QVariant row;
    for (s.GetFirstRow(row); row.isValid(); s.GetNextRow(row)) {
        const QVariantList v = row.toList();
        const QVariant type = v.value(1);
        out << DynamicGroupChoice{text(v.value(0)), type.isValid() ? GroupTypeText(type.toInt()) : QString(),
                                  ParentCanonicalName(text(v.value(2))), text(v.value(3))};
    }
    return out;
}

void readDynamicGroup(const QString &dn, QString *filter, QString *basePath, bool *baseRead)
{
    filter->clear();
    *basePath = ConnectionContext().DomainPath;
    if (baseRead)
        *baseRead = false;
    ads::ObjectPtr group;
    if (!ads::succeeded(OpenWithContext(dn, &group)) || !group)
        return;
    if (!ads::succeeded(group->GetInfoEx({QStringLiteral("msExchDynamicDLBaseDN"), QStringLiteral("msExchDynamicDLFilter")})))
        return;
    QVariant v;
    if (ads::succeeded(group->Get(QStringLiteral("msExchDynamicDLFilter"), &v)))
        *filter = text(v);
    if (ads::succeeded(group->Get(QStringLiteral("msExchDynamicDLBaseDN"), &v)) && !text(v).isEmpty()) {
        *basePath = ConnectionContext().ServerPrefix + ads::escapePathDn(text(v));
        if (baseRead)
            *baseRead = true;
    }
}

} // namespace reports

namespace reports {

namespace {

QString scalarText(const QVariant &v, bool groupType)
{
    if (v.userType() == qMetaTypeId<ads::AdsDate>()) {
        const ads::AdsDate d = v.value<ads::AdsDate>();
        if (d.value < 1.0)  // before 31 December 1899: no date
            return {};
        // The value is local time already: its fields are formatted as they stand, without a
        // round trip through the time zone (which costs a system call per value).
        thread_local TDateTimeTexts texts;
        return texts.text(d.value);
    }
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QByteArray:
        return QString::fromLatin1(v.toByteArray().toHex().toUpper());
    case QMetaType::Int:
        return groupType ? GroupTypeText(v.toInt()) : QString::number(v.toInt());
    case QMetaType::LongLong:
        return QString::number(v.toLongLong());
    default:
        return v.toString();
    }
}

} // namespace

QString cellText(const QVariant &value, bool groupType)
{
    if (!value.isValid())
        return {};
    if (value.typeId() == QMetaType::QVariantList) {
        QString out;
        bool first = true;
        for (const QVariant &e : value.toList()) {
            // Single bytes run on without a separator.
            const bool byte = e.typeId() == QMetaType::QByteArray && e.toByteArray().size() == 1;
            if (!first && !byte)
                out += QStringLiteral("\r\n");
            out += scalarText(e, groupType);
            first = false;
        }
        return out;
    }
    return scalarText(value, groupType);
}

double cellDate(const QVariant &value)
{
    const QVariant v = value.typeId() == QMetaType::QVariantList ? value.toList().value(0) : value;
    if (v.userType() != qMetaTypeId<ads::AdsDate>())
        return -1;
    const double d = v.value<ads::AdsDate>().value;
    return d < 1.0 ? -1 : d;
}

} // namespace reports
