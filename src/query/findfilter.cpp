#include "query/findfilter.h"

#include "query/filtercompose.h"

#include <algorithm>

namespace query {

QString findNamePart(const QString &name, bool exactly)
{
    const QString n = name.trimmed();
    if (n.isEmpty())
        return {};
    return exactly ? equals(QStringLiteral("cn"), n) : startsWith(QStringLiteral("cn"), n);
}

QString findSearchPart(const QString &namePart, bool exchangeOnly, const QString &lastLogonTerm)
{
    QString s = namePart;
    if (exchangeOnly)
        s += present(QStringLiteral("homeMDB")) + present(QStringLiteral("msExchHomeServerName"));
    return s + lastLogonTerm;
}

QString findFilter(bool withGroups, bool onlyDistributionGroups, const QString &searchPart,
                   const QString &namePart)
{
    const QString users = QStringLiteral("(&(objectCategory=person)(objectClass=user)%1)").arg(searchPart);
    if (!withGroups)
        return users;
    // A distribution group has the security bit (0x80000000) of groupType clear.
    const QString security = onlyDistributionGroups
                                 ? notOf(bitsAllSet(QStringLiteral("groupType"), 2147483648u))
                                 : QString();
    const QString groups =
        QStringLiteral("(&(objectCategory=Group)(objectClass=Group)%1%2)").arg(security, namePart);
    return QStringLiteral("(|%1%2)").arg(users, groups);
}

int findPageSize(int sizeLimit)
{
    return (sizeLimit < 1 || sizeLimit > 1000) ? 500 : 0;
}

int normaliseMaxItems(const QString &text)
{
    QString digits;
    for (QChar c : text)
        if (c.isDigit() && c.unicode() < 128)
            digits += c;
    while (digits.startsWith(u'0'))
        digits.remove(0, 1);
    if (digits.isEmpty())
        return 0;
    // Long runs of digits would overflow; anything beyond four digits is above the cap.
    if (digits.size() > 4)
        return 2000;
    return std::min(digits.toInt(), 2000);
}

std::optional<double> findLastLogon(int domainFunctionality, std::optional<double> lastLogon,
                                    std::optional<double> lastLogonTimeStamp, bool toggle)
{
    if (domainFunctionality <= 1)
        return lastLogon;
    if (!lastLogon || !lastLogonTimeStamp)
        return std::nullopt;
    if (*lastLogon == *lastLogonTimeStamp)
        return lastLogon;
    return toggle ? std::min(*lastLogon, *lastLogonTimeStamp) : std::max(*lastLogon, *lastLogonTimeStamp);
}

} // namespace query
