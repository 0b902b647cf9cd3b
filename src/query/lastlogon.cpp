#include "query/lastlogon.h"

#include "core/unValuesTime.h"
#include "query/filtercompose.h"

namespace query {

LastLogonRule lastLogonRule(int domainFunctionality, int syncIntervalDays)
{
    LastLogonRule r;
    if (domainFunctionality > 1) {
        r.attribute = QStringLiteral("lastLogonTimeStamp");
        r.step = syncIntervalDays > 0 ? syncIntervalDays : 15;
    } else {
        r.attribute = QStringLiteral("lastLogon");
        r.step = 5;
        r.thisServerOnly = true;
    }
    return r;
}

QStringList lastLogonChoices(int step)
{
    QStringList out;
    for (int i = 1; i <= 10; ++i)
        out << QString::number(step * i);
    return out;
}

int normaliseLogonDays(const QString &text, int step)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return 0;
    bool ok = false;
    int n = t.toInt(&ok);
    if (!ok)
        n = step;
    return n < step ? step : n;
}

qint64 logonAgeFileTime(int days, const QDate &today)
{
    const double midnight = EncodeDateTime(today.year(), today.month(), today.day());
    return DateTimeToFileTime(midnight - days);
}

QString lastLogonTerm(const QString &attribute, bool notLoggedIn, int days, const QDate &today)
{
    if (days == 0)
        return {};
    const QString value = QString::number(logonAgeFileTime(days, today));
    return notLoggedIn ? lessOrEqual(attribute, value) : greaterOrEqual(attribute, value);
}

} // namespace query
