#pragma once
// The catalogue of the 34 predefined reports: numbers, names, tabs, filters, parameters and
// column sets, and the condition each parameter dialog builds. Plain data and logic without
// widgets, shared by the report windows, the command-line tool and the benchmark.
//
// Every filter is composed with query:: (src/query/filtercompose.h), so each one the
// catalogue hands out is a valid RFC 4515 filter with escaped values.
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace reports {

enum class ReportKind { Group, User };
enum class ParameterKind { None, Days, Group, DynamicGroup };

constexpr int kReportCount = 34;
constexpr int kExchangeTab = 4;

// Bits of msDS-User-Account-Control-Computed that the server computes and never stores in
// userAccountControl.
constexpr quint32 kComputedLockout = 0x10;
constexpr quint32 kComputedPasswordExpired = 0x800000;
inline const QString kComputedControl = QStringLiteral("msDS-User-Account-Control-Computed");

struct ReportInfo {
    int number = 0;
    int tab = 0;
    QString choice;          // the radio item in the catalogue window
    QString title;           // the report name: captions, status panel, file name
    ReportKind kind = ReportKind::User;
    ParameterKind parameter = ParameterKind::None;
    QString daysOperator;    // "<=" or ">=" for the days reports
    QStringList shown;       // columns made visible in addition (LDAP names)
    QStringList hidden;      // columns hidden although visible by default
    QString haveNot;         // the days dialog's wording: "Accounts that" + haveNot + ...
    QString loggedTheLast;
    bool redWord = false;    // haveNot shown in red (else navy)
    quint32 computedBit = 0; // rows kept only when the computed control has this bit
};

struct TabInfo {
    QString caption;
    int offset = 0;
    QStringList items;
};

// The five tabs in order, the Exchange tab last.
const QList<TabInfo> &tabs();
// All reports in number order; reportByNumber gives nullptr outside 0..33.
const QList<ReportInfo> &reportList();
const ReportInfo *reportByNumber(int number);

// What the reports need to know about the connected domain.
struct DomainSettings {
    QString domainDn;                   // distinguished name of the domain (default naming context)
    int domainFunctionality = 0;
    int logonTimeSyncIntervalDays = 15; // msDS-logonTimeSyncInterval
    qint64 maxPasswordAgeDays = 42;     // the domain's maxPwdAge in whole days; 0: never expires
    // The shortest maximum password age in force (domain or any password settings object),
    // in 100-ns units; 0 when passwords never expire.
    qint64 shortestMaxPasswordAge = 42LL * 864000000000LL;
    bool exchange = false;              // the schema has homeMDB
};

// One column of a report grid: the catalogue key (the column's tag), the LDAP name, caption.
struct ReportColumn {
    int key = 0;
    QString ldapName;
    QString caption;
    bool date = false;
    bool number = false;  // sorts by value, not by text
};

// The column set of a report kind, in grid order.
QList<ReportColumn> columnSet(ReportKind kind, const DomainSettings &domain);
// The keys hidden when the report opens.
QSet<int> initialHidden(const ReportInfo &report, const QList<ReportColumn> &columns,
                        const DomainSettings &domain);

// The days dialog: the attribute the condition compares, the step of the drop-down list
// (step, 2 x step, ... 10 x step) and the smallest number the checks allow.
QString daysAttribute(const ReportInfo &report, const DomainSettings &domain);
int daysListStep(const DomainSettings &domain);
int daysCheckStep(const ReportInfo &report, const DomainSettings &domain);
// A text that is no number, or a number below the step, becomes the step.
int normaliseDays(const QString &text, int step);

// A date-time of the program (days since 30 December 1899, local time).
double localNow();
// The condition c of a days report for `days` days, at local time `now`.
QString daysCondition(const ReportInfo &report, int days, const DomainSettings &domain, double now);
// The condition c of reports 18 (members, also through nested groups, and users whose
// primary group it is) and 19 (primary group).
QString groupCondition(int number, const QString &groupDn, int primaryGroupToken);

// The report's filter with condition c (empty for reports without parameter). Report 33 takes
// the group's own filter as condition. `now` is used by report 9 and by the candidate filter of
// report 20.
QString reportFilter(const ReportInfo &report, const QString &condition, const DomainSettings &domain,
                     double now);

// The second status panel: the name, then " - N days" or " - group" once a parameter is set.
QString statusText(const ReportInfo &report, const QString &daysText, const QString &groupName);

} // namespace reports
