#pragma once
// The lists of groups and of query-based distribution groups of the domain, and the column
// sorting their windows share. No widgets: the command-line tool lists the same rows.
#include <QList>
#include <QString>
#include <functional>

namespace groups {

// One listed group.
struct TGroupListEntry {
    QString Name;              // name
    QString TypeText;          // GroupTypeText of groupType; empty when the object has none
    QString Folder;            // canonicalName up to its last "/"
    QString DistinguishedName;
};

enum class GroupKind { Groups, QueryBasedDistributionGroups };

// The filter of each kind: groups, or msExchDynamicDistributionList objects.
QString GroupListFilter(GroupKind kind);

// Every group of the kind below base (a DN or a full LDAP:// path; empty: the domain),
// subtree, page size 100, no size limit, with the connection context's credentials, in the
// order the directory returns them. keepGoing is asked after each row (false stops).
// Raises EADSISearchException / EADSIException with the directory's text.
QList<TGroupListEntry> LoadGroupList(GroupKind kind, const QString &base = {},
                                     const std::function<bool()> &keepGoing = {});

// Column sort keys: 10 by name ascending, -10 descending, n (1..3) by column n-1 ascending
// (0 name, 1 type, 2 folder), -n descending.
constexpr int kSortByName = 10;
// The key after a click on column (0 "Name", 1 "Type", 2 "In Folder"): the name column
// alternates between ascending and descending; another column sorts ascending on the first
// click and reverses on a second click on the same column.
int NextSortKey(int currentKey, int column);
// Sorts rows by the key (texts compared without regard to case; stable).
void SortGroupList(QList<TGroupListEntry> &rows, int key);

} // namespace groups
