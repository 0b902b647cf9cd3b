#pragma once
// Account names of well-known SIDs (Everyone, SELF, SYSTEM, BUILTIN\..., NT AUTHORITY\...)
// without asking any directory, and the reverse.
#include "platform/security/sid.h"

#include <QString>
#include <optional>

namespace security {

struct AccountName {
    QString domain; // "NT AUTHORITY", "BUILTIN", or empty (Everyone, CREATOR OWNER)
    QString name;
    // "DOMAIN\name", or just the name when the domain is empty.
    QString fullName() const { return domain.isEmpty() ? name : domain + QLatin1Char('\\') + name; }
};

// The name of a well-known SID; empty when the SID is not in the table (domain accounts
// and groups are named by the directory).
std::optional<AccountName> wellKnownName(const Sid &sid);
// The SID of a well-known name given as "DOMAIN\name" or "name" (case ignored); empty when
// unknown.
std::optional<Sid> wellKnownSid(const QString &name);

} // namespace security
