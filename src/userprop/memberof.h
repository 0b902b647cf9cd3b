#pragma once
// What the user property dialog reads without windows, shared with arvendel-cli: the
// connection it binds and searches with, and the Member Of rows of a user.
#include "platform/adsi/adsobject.h"

#include <QString>

#include <cstdint>
#include <vector>

class TQelADSISearching;

namespace userprop {

// What the dialog binds and searches with.
struct UserPropConnection {
    QString pathPrefix;   // "LDAP://server[:port]/"
    QString searchRoot;   // ADsPath of the searches (uniqueness, pickers)
    QString userName;
    QString password;
    std::uint32_t authFlags = 0;
    bool useCredentials = true;
    // The process-wide connection context (ServerPrefix, DomainPath, credentials).
    static UserPropConnection fromContext();
};

// Points a search at the connection's search root with its credentials (subtree).
void prepareSearch(TQelADSISearching &search, const UserPropConnection &c);

// One group row of the Member Of tab.
struct MemberOfRow {
    QString dn;
    QString name;
    QString folder;           // canonical name of the parent container
    int token = 0;            // primaryGroupToken
    bool direct = true;       // in memberOf or the primary group
    QString through;          // for nested rows: the direct group it is reached through
};

// The Member Of rows of a user: tokenGroups (global security groups) and memberOf, each
// group once; rows reached only through nesting are marked with the group they come
// through. Raises EADSIException when primaryGroupID cannot be read.
std::vector<MemberOfRow> loadMemberOf(const ads::ObjectPtr &user, const UserPropConnection &c, int *primaryGroupId);

} // namespace userprop
