#pragma once
// Running a report: one paged subtree search whose rows are handed on one by one, and what
// the reports read from the connected domain. No widgets: the result window, the
// command-line tool and the benchmark share it.
#include "core/unSearch.h"
#include "reports/unReportCatalogue.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>

namespace reports {

struct ReportQuery {
    QString base;            // ADsPath of the search root
    QString filter;
    QStringList attributes;  // the grid's columns, in grid order
    int sizeLimit = 0;       // rows at most; 0 for all
    quint32 computedBit = 0; // keep only rows whose computed control has this bit
    bool keepEntries = false; // fill the entry handed to the two-argument onRow below
};

// The query of a report as the result window runs it: the domain as base (unless given),
// every column of the set as attribute.
ReportQuery makeQuery(const ReportInfo &report, const QString &filter, const QList<ReportColumn> &columns,
                      int sizeLimit, const QString &base);

// Runs the query through the connection context. onRow gets the values of each row (one slot
// per attribute) and returns false to stop; the search is abandoned then. Returns the number
// of rows handed on. Raises Exception (EADSISearchException and the like) with the directory's
// text; an invalid filter is refused before anything is sent.
int runReport(const ReportQuery &query, const std::function<bool(const QVariantList &row)> &onRow);
// The same, handing on each row also in the directory's own terms (for JSON Lines and LDIF).
int runReport(const ReportQuery &query,
              const std::function<bool(const QVariantList &row, const TSearchEntry &entry)> &onRow);

// The rows of a query one at a time, for writers that ask for the next row (the export
// engine) instead of being handed each: only the current page is held. The constructor sends
// the search and raises what runReport raises; the search is abandoned when the cursor goes.
class ReportCursor {
public:
    explicit ReportCursor(const ReportQuery &query);
    ~ReportCursor();
    ReportCursor(const ReportCursor &) = delete;
    ReportCursor &operator=(const ReportCursor &) = delete;
    // The next kept row (one slot per attribute) into *values; false at the end or the limit.
    bool next(QVariantList *values);
    // The current row in the directory's own terms (filled when the query keeps entries).
    const TSearchEntry &entry() const;
    // Rows handed on so far.
    int count() const { return count_; }

private:
    std::unique_ptr<TQelADSISearching> search_;
    int sizeLimit_ = 0;
    quint32 computedBit_ = 0;
    int computedSlot_ = -1;
    int count_ = 0;
    bool started_ = false;
    bool done_ = false;
};

// Reads the domain's settings through the connection context: functionality level, the
// logon-time synchronisation interval, the maximum password age (and the shortest one of any
// password settings object) and whether the schema has homeMDB. Values that cannot be read
// keep their defaults.
DomainSettings readDomainSettings();

// One group of the group parameter page.
struct GroupChoice {
    QString name;
    QString dn;
    int token = 0;
};
// Every group of the domain (name, primaryGroupToken, distinguishedName), no size limit.
QList<GroupChoice> loadGroups();

// One query-based distribution group of the chooser.
struct DynamicGroupChoice {
    QString name;
    QString type;    // the group-type text
    QString folder;  // canonical name up to its last "/"
    QString dn;
};
QList<DynamicGroupChoice> loadDynamicGroups();
// The group's msExchDynamicDLFilter (empty when it cannot be read) and, as an ADsPath, its
// msExchDynamicDLBaseDN. When the base cannot be read, *basePath is the domain (the
// connection context's DomainPath) and *baseRead false, so that a run and its export search
// the same place and the caller can say why.
void readDynamicGroup(const QString &dn, QString *filter, QString *basePath, bool *baseRead = nullptr);

} // namespace reports

namespace reports {

// The text a grid cell shows for a value: elements of several values joined by CR LF, dates
// in the short date and long time format (blank before 31 December 1899), booleans
// "True"/"False", bytes as two hex digits each, numbers in decimal; the groupType column of
// group reports as the group-type text.
QString cellText(const QVariant &value, bool groupType = false);
// A date cell's sort key (the date-time), or -1 when it holds no date.
double cellDate(const QVariant &value);

} // namespace reports
