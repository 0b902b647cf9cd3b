#include "userprop/unSecurityLogic.h"

#include "core/unValues.h"
#include "platform/security/sid.h"

#include <QHash>

namespace userprop {

QString LookupTrusteeName(const QString &sidText)
{
    const auto sid = security::Sid::fromString(sidText);
    return sid ? LookupAccountSid(*sid) : QString();
}

QString TrusteeDisplayText(const QString &trustee, const SidLookup &lookup)
{
    QString text = trustee;
    if (text.toUpper().startsWith(QLatin1String("S-1-")) && lookup) {
        const QString name = lookup(text);
        if (!name.isEmpty())
            text = name;
    }
    for (const QLatin1String prefix : {QLatin1String("NT AUTHORITY\\"), QLatin1String("BUILTIN\\")})
        if (text.toUpper().startsWith(prefix))
            text = text.mid(prefix.size());
    const int slash = text.indexOf(QLatin1Char('\\'));
    if (slash >= 0)
        return text.mid(slash + 1) + QStringLiteral(" (") + text + QLatin1Char(')');
    return text;
}

quint32 ExtendedRightBitOf(const QString &guid)
{
    static const QHash<QString, quint32> bits = {
        {QStringLiteral("68B1D179-0D15-4D4F-AB71-46152E79A7BC"), 1},
        {QStringLiteral("AB721A56-1E2F-11D0-9819-00AA0040529B"), 2},
        {QStringLiteral("AB721A54-1E2F-11D0-9819-00AA0040529B"), 4},
        {QStringLiteral("AB721A53-1E2F-11D0-9819-00AA0040529B"), 8},
        {QStringLiteral("00299570-246D-11D0-A768-00AA006E0529"), 16},
        {QStringLiteral("4C164200-20C0-11D0-A768-00AA006E0529"), 32},
        {QStringLiteral("72E39547-7B18-11D1-ADEF-00C04FD8D5CD"), 64},
        {QStringLiteral("F3A64788-5306-11D1-A9C5-0000F80367C1"), 128},
    };
    QString key = guid.trimmed().toUpper();
    if (key.startsWith(QLatin1Char('{')) && key.endsWith(QLatin1Char('}')))
        key = key.mid(1, key.size() - 2);
    return bits.value(key, 0);
}

QList<TrusteeSummary> SummarizeTrustees(const QList<ads::AccessControlEntry> &entries)
{
    QList<TrusteeSummary> rows;
    QHash<QString, int> index;
    for (const ads::AccessControlEntry &e : entries) {
        if (e.AceType >= 7)
            continue;
        int i = index.value(e.Trustee, -1);
        if (i < 0) {
            i = int(rows.size());
            index.insert(e.Trustee, i);
            TrusteeSummary s;
            s.trustee = e.Trustee;
            rows.append(s);
        }
        TrusteeSummary &s = rows[i];
        const bool allow = e.AceType == 0 || e.AceType == 5;
        const bool deny = e.AceType == 1 || e.AceType == 6;
        if (!allow && !deny)
            continue;
        quint32 &mask = allow ? s.allow : s.deny;
        quint32 &ext = allow ? s.allowExtended : s.denyExtended;
        mask |= e.AccessMask;
        if (e.AccessMask != 0)
            ext |= ExtendedRightBitOf(e.ObjectType) | ExtendedRightBitOf(e.InheritedObjectType);
    }
    for (TrusteeSummary &s : rows) {
        if ((s.allow & 0xF01FF) == 0xF01FF)
            s.allowExtended |= 0x1F;
        if ((s.deny & 0xF01FF) == 0xF01FF)
            s.denyExtended |= 0x1F;
    }
    return rows;
}

const QList<RightRow> &SecurityRightRows()
{
    static const QList<RightRow> rows = {
        {"Full Control", 0xF01FF, false},       {"Read", 0x20000, false},
        {"Delete", 0x10000, false},             {"Write", 0x20, false},
        {"Create child objects", 0x1, false},   {"Delete child objects", 0x2, false},
        {"Allowed to Authenticate", 1, true},   {"Change Password", 8, true},
        {"Receive As", 2, true},                {"Reset Password", 16, true},
        {"Send As", 4, true},
    };
    return rows;
}

const QList<RightRow> &MailboxRightRows()
{
    static const QList<RightRow> rows = {
        {"Delete mailbox storage", 0x10000, false}, {"Read permissions", 0x20000, false},
        {"Modify user attributes", 0x40000, false}, {"Take ownership", 0x80000, false},
        {"Full Mailbox Access", 0x1, false},        {"Primary Mailbox Owner", 0x4, false},
        {"Send mail as", 0x2, false},
    };
    return rows;
}

bool SideHasRight(const RightRow &row, quint32 mask, quint32 extended)
{
    return ((row.extended ? extended : mask) & row.bits) == row.bits;
}

QString AceTypeCaption(int aceType)
{
    switch (aceType) {
    case 0:
    case 5: return QStringLiteral("Allowed");
    case 1:
    case 6: return QStringLiteral("Denied");
    case 2:
    case 7: return QStringLiteral("Audit");
    default: return QString();
    }
}

QString AuditTypeCaption(int aceFlags)
{
    const bool ok = aceFlags & 0x40, fail = aceFlags & 0x80;
    if (ok && fail)
        return QStringLiteral("All");
    if (ok)
        return QStringLiteral("Success");
    if (fail)
        return QStringLiteral("Fail");
    return QString();
}

QString PermissionText(quint32 mask, bool mailbox)
{
    if (mailbox) {
        static const std::pair<quint32, const char *> bits[] = {
            {0x2, "Send As"},          {0x40000, "Modify user attributes"}, {0x10000, "Delete mailbox storage"},
            {0x20000, "Read permissions"}, {0x80000, "Take Ownership"},     {0x1, "Full Mailbox Access"},
            {0x4, "Mailbox Primary Owner"}};
        quint32 matched = 0;
        QString text;
        for (const auto &[bit, caption] : bits)
            if (mask & bit) {
                matched = bit;
                text = QLatin1String(caption);
            }
        if (!matched)
            return QString();
        return mask == matched ? text : QStringLiteral("Special");
    }
    if ((mask & 0xF01FF) == 0xF01FF)
        return QStringLiteral("Full Control");
    if (mask == 0x4)
        return QStringLiteral("List Contents");
    if (mask == 0x40)
        return QStringLiteral("Delete Subtree");
    QString text;
    quint32 named = 0;
    if (mask & (0x10 | 0x20000)) {
        text = QStringLiteral("Read");
        named |= mask & (0x10 | 0x20000);
    }
    if (mask & (0x20 | 0x40000)) {
        text += text.isEmpty() ? QStringLiteral("Write") : QStringLiteral("/Write");
        named |= mask & (0x20 | 0x40000);
    }
    // The control-access bit alone is named by the extended right that follows the text.
    if ((mask & ~named) != 0 && mask != 0x100)
        text = QStringLiteral("Special");
    return text;
}

QString InheritedCaption(int aceFlags)
{
    return (aceFlags & 0x10) ? QStringLiteral("Inherited") : QStringLiteral("<not inherited>");
}

QString ApplyToCaption(int aceFlags, const QString &inheritedObjectTypeName)
{
    if (!(aceFlags & 0x1F))
        return QStringLiteral("This object only");
    if (!inheritedObjectTypeName.isEmpty())
        return inheritedObjectTypeName + QStringLiteral(" object");
    return QStringLiteral("This object and all child objects");
}

QString Hex8(quint32 value)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}

} // namespace userprop
