#pragma once
// Shared by the query window tests: connecting to the test domain, ldapsearch answers as sets of
// distinguished names, and the seed's containers.
#include "core/unConnection.h"
#include "support/ldaptools.h"
#include "support/testdomain.h"

#include <QSet>
#include <QString>
#include <QTreeWidget>

namespace query {
class TfrmFilter;
}

namespace querytest {

// Adds a condition through the filter builder's controls, as a user does.
void addCondition(query::TfrmFilter &f, const char *ldapName, const char *condition, const QString &value = {});

// Connects the process-wide context to the test domain as the administrator (simple bind).
bool connectDomain();
// "LDAP://<addr>/" + dn
QString pathOf(const QString &dn);
QString seedOu();
// The lower-cased distinguished names ldapsearch finds below base (subtree unless one level).
QSet<QString> ldapDns(const QString &base, const QString &filter, bool oneLevel = false);
// The lower-cased texts of one column of a list.
QSet<QString> columnTexts(const QTreeWidget *list, int column);

} // namespace querytest
