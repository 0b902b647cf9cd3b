// arvendel-cli account: a user's account settings as the property dialog shows them (logon
// names, options, lock-out, expiry, logon hours in local time, workstations, groups), and the
// changes that need no window: unlock, expiry.
#include "cli/cli.h"
#include "core/unValues.h"
#include "platform/adsi/adspath.h"
#include "platform/security/sid.h"
#include "userprop/unAccountLogic.h"
#include "userprop/memberof.h"

#include <QLocale>

namespace {

QString text(const ads::ObjectPtr &o, const char *attr)
{
    QVariant v;
    if (ads::failed(o->Get(QLatin1String(attr), &v)))
        return {};
    return (v.typeId() == QMetaType::QVariantList ? v.toList().value(0) : v).toString();
}

qint64 number(const ads::ObjectPtr &o, const char *attr, bool *ok)
{
    QVariant v;
    *ok = ads::succeeded(o->Get(QLatin1String(attr), &v)) && v.isValid();
    try {
        return *ok ? LargeIntegerToInt64(v) : 0;
    } catch (const Exception &) {
        *ok = false;
        return 0;
    }
}

void printHours(const QByteArray &stored)
{
    QTextStream &o = cli::out();
    const auto hours = userprop::decodeLogonHours(stored, GetTimeZoneBias());
    if (!hours) {
        o << "Logon hours: unknown (" << stored.size() << " bytes stored, 21 expected)\n";
        return;
    }
    o << "Logon hours (local time, # permitted, . denied):\n";
    o << QStringLiteral("  %1 0         1         2   \n").arg(QString(), 10);
    o << QStringLiteral("  %1 012345678901234567890123\n").arg(QString(), 10);
    for (int day = 0; day < 7; ++day) {
        QString line;
        for (int h = 0; h < 24; ++h)
            line += (*hours)[static_cast<std::size_t>(day * 24 + h)] ? QLatin1Char('#') : QLatin1Char('.');
        o << "  " << QLocale().dayName(day == 0 ? 7 : day).leftJustified(10) << ' ' << line << '\n';
    }
}

void print(const ads::ObjectPtr &user, const QString &dn)
{
    using namespace userprop;
    QTextStream &o = cli::out();
    o << "Account: " << dn << '\n';
    o << "User logon name: " << text(user, "userPrincipalName") << '\n';
    o << "Pre-Windows 2000 name: " << DomainNetbiosName() << '\\' << text(user, "sAMAccountName") << '\n';
    bool ok = false;
    const quint32 uacValue = quint32(number(user, "userAccountControl", &ok));
    const quint32 computed = quint32(number(user, "msDS-User-Account-Control-Computed", &ok));
    const struct {
        quint32 bit;
        const char *caption;
    } options[] = {{uac::AccountDisable, "Account is disabled"},
                   {uac::EncryptedTextPasswordAllowed, "Store password using reversible encryption"},
                   {uac::DontExpirePassword, "Password never expires"},
                   {uac::SmartcardRequired, "Smart card is required for interactive logon"},
                   {uac::NotDelegated, "Account is sensitive and cannot be delegated"},
                   {uac::UseDesKeyOnly, "Use DES encryption types for this account"},
                   {uac::DontRequirePreauth, "Do not require Kerberos preauthentication"},
                   {uac::TrustedToAuthForDelegation, "Account is trusted for delegation"}};
    for (const auto &opt : options)
        o << (uacValue & opt.bit ? "[x] " : "[ ] ") << opt.caption << '\n';
    o << ((uacValue | computed) & uac::Lockout ? "[x] " : "[ ] ") << "Account is locked out\n";
    const qint64 pwdLastSet = number(user, "pwdLastSet", &ok);
    o << (ok && pwdLastSet == 0 ? "[x] " : "[ ] ") << "User must change password at next logon\n";
    QVariant sd;
    o << (ads::succeeded(user->Get(QStringLiteral("ntSecurityDescriptor"), &sd)) && GetCannotChangePassword(sd.toByteArray())
              ? "[x] "
              : "[ ] ")
      << "User cannot change password\n";
    const qint64 expires = number(user, "accountExpires", &ok);
    const auto day = ok ? expiryDateOfFileTime(expires) : std::nullopt;
    o << "Account expires: " << (day ? QStringLiteral("End of ") + day->toString(Qt::ISODate) : QStringLiteral("Never"))
      << '\n';
    QVariant hours;
    if (ads::succeeded(user->Get(QStringLiteral("logonHours"), &hours)) && hours.isValid())
        printHours((hours.typeId() == QMetaType::QVariantList ? hours.toList().value(0) : hours).toByteArray());
    else
        o << "Logon hours: all permitted\n";
    const QString ws = text(user, "userWorkstations");
    o << "Log on to: " << (ws.isEmpty() ? QStringLiteral("All Computers") : splitCommaText(ws).join(QStringLiteral(", ")))
      << '\n';
    int primary = 0;
    const auto rows = loadMemberOf(user, UserPropConnection::fromContext(), &primary);
    o << "Member of:\n";
    for (const auto &r : rows) {
        o << "  " << r.name << "  (" << r.folder << ')';
        if (r.token == primary)
            o << "  primary group";
        if (!r.direct)
            o << "  through " << r.through;
        o << '\n';
    }
    o.flush();
}

int runAccount(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints a user's account settings: logon names, account options, lock-out, expiry, logon hours "
        "(local time), workstations and groups (those reached through another group say which). "
        "--unlock and --expires change the account first."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("dn"), QStringLiteral("The user's distinguished name."));
    parser.addOptions({
        {QStringLiteral("unlock"), QStringLiteral("Unlock a locked-out account (writes lockoutTime 0 only).")},
        {QStringLiteral("expires"), QStringLiteral("never, or the last day of the account (yyyy-mm-dd, local time)."),
         QStringLiteral("date")},
    });
    int exitCode = cli::Ok;
    if (!cli::parseCommandLine(parser, args, &exitCode))
        return exitCode;
    if (parser.positionalArguments().size() != 1)
        return cli::usageError(parser, QStringLiteral("name exactly one user by its distinguished name"));
    std::optional<qint64> expires;
    if (parser.isSet(QStringLiteral("expires"))) {
        const QString v = parser.value(QStringLiteral("expires"));
        const QDate d = QDate::fromString(v, Qt::ISODate);
        if (v.compare(QLatin1String("never"), Qt::CaseInsensitive) == 0)
            expires = 0;
        else if (d.isValid())
            expires = userprop::expiryFileTimeForDate(d);
        else
            return cli::usageError(parser, QStringLiteral("--expires is never or a date yyyy-mm-dd"));
    }
    if ((parser.isSet(QStringLiteral("unlock")) || expires) && !cli::journalWritable(&exitCode))
        return exitCode;
    return cli::runConnected(parser, [&]() -> int {
        const QString dn = parser.positionalArguments().first();
        ads::ObjectPtr user;
        CheckADSIResult(OpenWithContext(ads::escapePathDn(dn), &user, QString::fromLatin1(ads::IID_IADsUser)));
        if (parser.isSet(QStringLiteral("unlock")))
            CheckADSIResult(user->Put(QStringLiteral("lockoutTime"), QVariant::fromValue<qint64>(0)));
        if (expires)
            CheckADSIResult(user->Put(QStringLiteral("accountExpires"), QVariant::fromValue<qint64>(*expires)));
        if (parser.isSet(QStringLiteral("unlock")) || expires) {
            CheckADSIResult(user->SetInfo());
            CheckADSIResult(OpenWithContext(ads::escapePathDn(dn), &user, QString::fromLatin1(ads::IID_IADsUser)));
        }
        CheckADSIResult(user->GetInfoEx({QStringLiteral("userPrincipalName"), QStringLiteral("sAMAccountName"),
                                         QStringLiteral("userAccountControl"),
                                         QStringLiteral("msDS-User-Account-Control-Computed"),
                                         QStringLiteral("pwdLastSet"), QStringLiteral("ntSecurityDescriptor"),
                                         QStringLiteral("accountExpires"), QStringLiteral("logonHours"),
                                         QStringLiteral("userWorkstations")}));
        print(user, dn);
        return cli::Ok;
    });
}

} // namespace

ARV_CLI_COMMAND(account, "print a user's account settings; unlock it or set its expiry", runAccount);
