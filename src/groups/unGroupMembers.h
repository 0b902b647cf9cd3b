#pragma once
// A group's members and the pending membership changes, shared by the group window, the
// command-line tool and the benchmark. No widgets.
//
// Loading: the direct values of "member" are read in ranges (a group may hold more values
// than the directory answers at once), then one search lists the users and groups that are
// members directly or through nested groups, and those whose primary group this is. Each row
// says how it belongs.
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

namespace groups {

// How a listed member belongs to the group.
enum class MemberKind {
    Direct,   // a value of the group's "member"
    Primary,  // its primaryGroupID is the group's token (never in "member")
    Nested,   // only through a group that is itself a member
};

struct TGroupMember {
    QString Name;              // cn
    QString Folder;            // canonicalName up to its last "/"
    QString DistinguishedName;
    int PrimaryGroupID = 0;    // 0 when none
    MemberKind Kind = MemberKind::Direct;
    bool IsGroup = false;      // objectClass holds "group"
};

// The few facts of a group the member list needs.
struct TGroupFacts {
    QString DistinguishedName;
    QString Name;                 // cn
    int PrimaryGroupToken = -1;   // -1 when unreadable
    QString SidText;
    bool Builtin = false;         // SID text begins "S-1-5-32"
};

// Reads cn, primaryGroupToken and objectSID of the group. Raises EADSIException when the
// group cannot be bound.
TGroupFacts ReadGroupFacts(const QString &groupDn);

// The values of the group's "member", read in ranges of rangeSize values ("member;range=0-
// (rangeSize-1)", then the following ranges until the last). Raises EADSIException.
QStringList ReadDirectMembers(const QString &groupDn, int rangeSize = 1500);

// The filter of the member search: users and groups that are members directly or through
// nesting (the in-chain matching rule on memberOf), or whose primaryGroupID is the token
// (left out when the token is negative). The DN is escaped.
QString MembersFilter(const QString &groupDn, int primaryGroupToken);
// The attributes the member search asks for.
QString MembersAttributes();

// Loads the members: the direct values in ranges, then the member search below the domain
// (page size 100, subtree). onRow gets every member in the order the directory returns
// them; returning false stops the load (the rows so far stay delivered). Raises
// EADSIException / EADSISearchException with the directory's text.
struct TLoadOptions {
    int rangeSize = 1500;
    int pageSize = 100;
};
void LoadGroupMembers(const TGroupFacts &group, const std::function<bool(const TGroupMember &)> &onRow,
                      const TLoadOptions &options = {});
// The same, collected.
QList<TGroupMember> LoadGroupMembers(const TGroupFacts &group, const TLoadOptions &options = {});

// The group through which a nested-only member belongs: a group among candidateGroups
// (distinguished names of the member groups of the group) that holds memberDn in its own
// "member"; empty when none is found.
QString NestingGroupOf(const QString &memberDn, const QStringList &candidateGroups);

// --- pending changes -------------------------------------------------------------------------

// Member additions and removals collected before Apply. Adding one that was loaded and then
// removed cancels the removal (and the other way round), so that an add and remove of the
// same member before Apply writes nothing for it. Names are compared without regard to case.
class TMembershipChanges {
public:
    void setLoaded(const QStringList &loadedDns);
    // Records an addition; false when it is already a current member (nothing changes).
    bool add(const QString &dn);
    // Records a removal; false when it is not a current member.
    bool remove(const QString &dn);
    bool isCurrentMember(const QString &dn) const;
    QStringList additions() const { return m_add; }
    QStringList removals() const { return m_remove; }
    bool isEmpty() const { return m_add.isEmpty() && m_remove.isEmpty(); }
    void clear() { m_add.clear(); m_remove.clear(); }
    // After a successful write: the current members become the loaded ones.
    void commit();

private:
    static QString key(const QString &dn) { return dn.toLower(); }
    QSet<QString> m_loaded;   // lower-cased
    QStringList m_add, m_remove;
};

// What ApplyMembershipChanges did.
struct TApplyResult {
    QStringList added, removed;        // written
    QStringList alreadyThere;          // additions the group held already (left out)
    QStringList alreadyGone;           // removals the group did not hold (left out)
    bool written = false;              // one modify was sent and succeeded
};

// Writes additions and removals to the group's "member" in one modify (add and delete
// values, never a replacement of the whole list), so that changes others made meanwhile
// stay. Before writing, the group's current values are read again: additions it holds
// already and removals it no longer holds are left out and reported, not fatal. A refused
// write raises EADSIException with the directory's text.
TApplyResult ApplyMembershipChanges(const QString &groupDn, const QStringList &additions,
                                    const QStringList &removals, int rangeSize = 1500);

// "Name (type)" texts for the command-line tool and logs: "direct", "primary", "nested".
QString MemberKindText(MemberKind kind);

} // namespace groups
