#pragma once
// The filters of Find User, without a window: the name part, the search part and the whole
// filter for users only or users and groups. Library arv_query_logic.
#include <QString>

#include <optional>

namespace query {

// "(cn=name*)" or, exactly, "(cn=name)"; the trimmed name escaped, so that a name holding
// "(", ")", "*", "\" or NUL finds exactly that name. Empty name: empty part.
QString findNamePart(const QString &name, bool exactly);

// The name part, then "(homeMDB=*)(msExchHomeServerName=*)" when only mailbox users are
// wanted, then the last-logon term (may be empty).
QString findSearchPart(const QString &namePart, bool exchangeOnly, const QString &lastLogonTerm);

// The whole filter. searchPart narrows users; groups are matched by namePart only. With
// onlyDistributionGroups (the last-logon group is shown) security groups are left out.
QString findFilter(bool withGroups, bool onlyDistributionGroups, const QString &searchPart,
                   const QString &namePart);

// The paging of a Find search: the size limit from the "maximum items" choice (0 = none), and
// the page size (500 when there is no limit or it is above 1000, else no paging).
int findPageSize(int sizeLimit);

// The number in the "Maximum items" box: digits only, capped at 2000 (empty or not a number: 0).
int normaliseMaxItems(const QString &text);

// The "Last Logon" column of a found object from its lastLogon and lastLogonTimeStamp values
// (local date-times; empty when missing or never). Above functionality level 1 both must be
// present; when they differ, the earlier is shown with toggle (not logged in), else the later.
// Level 1 and below show lastLogon alone.
std::optional<double> findLastLogon(int domainFunctionality, std::optional<double> lastLogon,
                                    std::optional<double> lastLogonTimeStamp, bool toggle);

} // namespace query
