#include "platform/security/wellknown.h"

#include <QList>

namespace security {

namespace {

struct Entry {
    quint64 authority;
    QList<quint32> sub;
    const char *domain;
    const char *name;
};

const QList<Entry> &table()
{
    static const QList<Entry> t = {
        {0, {0}, "", "NULL SID"},
        {1, {0}, "", "Everyone"},
        {2, {0}, "", "LOCAL"},
        {2, {1}, "", "CONSOLE LOGON"},
        {3, {0}, "", "CREATOR OWNER"},
        {3, {1}, "", "CREATOR GROUP"},
        {3, {2}, "", "CREATOR OWNER SERVER"},
        {3, {3}, "", "CREATOR GROUP SERVER"},
        {3, {4}, "", "OWNER RIGHTS"},
        {5, {1}, "NT AUTHORITY", "DIALUP"},
        {5, {2}, "NT AUTHORITY", "NETWORK"},
        {5, {3}, "NT AUTHORITY", "BATCH"},
        {5, {4}, "NT AUTHORITY", "INTERACTIVE"},
        {5, {6}, "NT AUTHORITY", "SERVICE"},
        {5, {7}, "NT AUTHORITY", "ANONYMOUS LOGON"},
        {5, {8}, "NT AUTHORITY", "PROXY"},
        {5, {9}, "NT AUTHORITY", "ENTERPRISE DOMAIN CONTROLLERS"},
        {5, {10}, "NT AUTHORITY", "SELF"},
        {5, {11}, "NT AUTHORITY", "Authenticated Users"},
        {5, {12}, "NT AUTHORITY", "RESTRICTED"},
        {5, {13}, "NT AUTHORITY", "TERMINAL SERVER USER"},
        {5, {14}, "NT AUTHORITY", "REMOTE INTERACTIVE LOGON"},
        {5, {15}, "NT AUTHORITY", "This Organization"},
        {5, {17}, "NT AUTHORITY", "IUSR"},
        {5, {18}, "NT AUTHORITY", "SYSTEM"},
        {5, {19}, "NT AUTHORITY", "LOCAL SERVICE"},
        {5, {20}, "NT AUTHORITY", "NETWORK SERVICE"},
        {5, {22}, "NT AUTHORITY", "ENTERPRISE READ-ONLY DOMAIN CONTROLLERS BETA"},
        {5, {33}, "NT AUTHORITY", "WRITE RESTRICTED"},
        {5, {64, 10}, "NT AUTHORITY", "NTLM Authentication"},
        {5, {64, 14}, "NT AUTHORITY", "SChannel Authentication"},
        {5, {64, 21}, "NT AUTHORITY", "Digest Authentication"},
        {5, {1000}, "NT AUTHORITY", "Other Organization"},
        {5, {32, 544}, "BUILTIN", "Administrators"},
        {5, {32, 545}, "BUILTIN", "Users"},
        {5, {32, 546}, "BUILTIN", "Guests"},
        {5, {32, 547}, "BUILTIN", "Power Users"},
        {5, {32, 548}, "BUILTIN", "Account Operators"},
        {5, {32, 549}, "BUILTIN", "Server Operators"},
        {5, {32, 550}, "BUILTIN", "Print Operators"},
        {5, {32, 551}, "BUILTIN", "Backup Operators"},
        {5, {32, 552}, "BUILTIN", "Replicator"},
        {5, {32, 554}, "BUILTIN", "Pre-Windows 2000 Compatible Access"},
        {5, {32, 555}, "BUILTIN", "Remote Desktop Users"},
        {5, {32, 556}, "BUILTIN", "Network Configuration Operators"},
        {5, {32, 557}, "BUILTIN", "Incoming Forest Trust Builders"},
        {5, {32, 558}, "BUILTIN", "Performance Monitor Users"},
        {5, {32, 559}, "BUILTIN", "Performance Log Users"},
        {5, {32, 560}, "BUILTIN", "Windows Authorization Access Group"},
        {5, {32, 561}, "BUILTIN", "Terminal Server License Servers"},
        {5, {32, 562}, "BUILTIN", "Distributed COM Users"},
        {5, {32, 568}, "BUILTIN", "IIS_IUSRS"},
        {5, {32, 569}, "BUILTIN", "Cryptographic Operators"},
        {5, {32, 573}, "BUILTIN", "Event Log Readers"},
        {5, {32, 574}, "BUILTIN", "Certificate Service DCOM Access"},
        {5, {32, 575}, "BUILTIN", "RDS Remote Access Servers"},
        {5, {32, 576}, "BUILTIN", "RDS Endpoint Servers"},
        {5, {32, 577}, "BUILTIN", "RDS Management Servers"},
        {5, {32, 578}, "BUILTIN", "Hyper-V Administrators"},
        {5, {32, 579}, "BUILTIN", "Access Control Assistance Operators"},
        {5, {32, 580}, "BUILTIN", "Remote Management Users"},
        {16, {0}, "Mandatory Label", "Untrusted Mandatory Level"},
        {16, {4096}, "Mandatory Label", "Low Mandatory Level"},
        {16, {8192}, "Mandatory Label", "Medium Mandatory Level"},
        {16, {12288}, "Mandatory Label", "High Mandatory Level"},
        {16, {16384}, "Mandatory Label", "System Mandatory Level"},
    };
    return t;
}

} // namespace

std::optional<AccountName> wellKnownName(const Sid &sid)
{
    for (const Entry &e : table())
        if (sid.authority() == e.authority && sid.subAuthorities() == e.sub)
            return AccountName{QString::fromLatin1(e.domain), QString::fromLatin1(e.name)};
    return std::nullopt;
}

std::optional<Sid> wellKnownSid(const QString &text)
{
    const QString t = text.trimmed();
    const int slash = t.indexOf(QLatin1Char('\\'));
    const QString domain = slash < 0 ? QString() : t.left(slash);
    const QString name = slash < 0 ? t : t.mid(slash + 1);
    for (const Entry &e : table()) {
        if (name.compare(QLatin1String(e.name), Qt::CaseInsensitive) != 0)
            continue;
        // "SELF" alone names NT AUTHORITY\SELF; a given domain must match.
        if (slash >= 0 && domain.compare(QLatin1String(e.domain), Qt::CaseInsensitive) != 0)
            continue;
        return Sid(e.authority, e.sub);
    }
    return std::nullopt;
}

} // namespace security
