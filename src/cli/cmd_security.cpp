// arvendel-cli security: prints a user's security descriptor (owner, DACL entries with trustee
// names) and whether the user cannot change the password; can set that rule.
#include "cli/cli.h"
#include "core/unValues.h"
#include "platform/adsi/adspath.h"

namespace {

// The distinguished name of the account given as a DN, a sAMAccountName or DOMAIN\name.
QString findAccountDn(const QString &account, QString *error)
{
    if (account.contains(QLatin1Char('=')))
        return account;
    QString user, domain;
    SplitDomainUser(account, user, domain);
    TQelADSISearching search;
    search.setADsPath(ConnectionContext().DomainPath);
    ApplyContextCredentials(search);
    search.setFilter(QStringLiteral("(sAMAccountName=%1)").arg(EscapeFilterValue(user)));
    search.setAttributes(QStringLiteral("distinguishedName"));
    search.ExecuteSearch();
    QVariant row;
    search.GetFirstRow(row);
    if (!row.isValid()) {
        *error = QStringLiteral("No account named \"%1\" was found in the domain.").arg(account);
        return {};
    }
    QVariant dn = row.toList().value(0);
    if (dn.metaType().id() == QMetaType::QVariantList)
        dn = dn.toList().value(0);
    search.CloseSearch();
    return dn.toString();
}

void print(const QString &dn, const TSecuritySummary &s)
{
    QTextStream &o = cli::out();
    o << "Object: " << dn << '\n';
    o << "Owner: " << (s.Owner.isEmpty() ? QStringLiteral("(not readable)") : s.Owner);
    if (!s.OwnerSid.isEmpty() && s.OwnerSid != s.Owner)
        o << " (" << s.OwnerSid << ')';
    o << '\n';
    if (!s.Group.isEmpty()) {
        o << "Group: " << s.Group;
        if (s.GroupSid != s.Group)
            o << " (" << s.GroupSid << ')';
        o << '\n';
    }
    if (!s.HasDacl) {
        o << "DACL: none (everyone has full access)\n";
    } else {
        o << "DACL: " << s.Dacl.size() << " entries" << (s.DaclCanonical ? "" : ", NOT in canonical order") << '\n';
        for (const TAceSummary &a : s.Dacl) {
            o << "  " << a.Type.leftJustified(15) << ' ' << (a.Inherited ? "inherited " : "explicit  ")
              << a.Trustee << ": " << a.Rights;
            if (!a.ObjectType.isEmpty())
                o << " on " << a.ObjectType;
            if (!a.InheritedObjectType.isEmpty())
                o << " (applies to " << a.InheritedObjectType << ')';
            o << '\n';
        }
    }
    o << "User cannot change password: " << (s.CannotChangePassword ? "yes" : "no") << '\n';
    o.flush();
}

int runSecurity(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints an account's security descriptor: owner, DACL entries with trustee names, and "
        "whether the user cannot change the password. --cannot-change-password sets that rule "
        "first."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("account"),
                                 QStringLiteral("Distinguished name, sAMAccountName or DOMAIN\\name."));
    parser.addOptions({
        {QStringLiteral("cannot-change-password"),
         QStringLiteral("yes: deny the user changing the password; no: allow it."), QStringLiteral("yes|no")},
    });
    int exitCode = cli::Ok;
    if (!cli::parseCommandLine(parser, args, &exitCode))
        return exitCode;
    if (parser.positionalArguments().size() != 1)
        return cli::usageError(parser, QStringLiteral("name exactly one account"));
    std::optional<bool> deny;
    if (parser.isSet(QStringLiteral("cannot-change-password"))) {
        const QString v = parser.value(QStringLiteral("cannot-change-password")).toLower();
        if (v == QLatin1String("yes") || v == QLatin1String("true") || v == QLatin1String("1"))
            deny = true;
        else if (v == QLatin1String("no") || v == QLatin1String("false") || v == QLatin1String("0"))
            deny = false;
        else
            return cli::usageError(parser, QStringLiteral("--cannot-change-password is yes or no"));
    }

    return cli::runConnected(parser, [&]() -> int {
        QString error;
        const QString dn = findAccountDn(parser.positionalArguments().first(), &error);
        if (dn.isEmpty())
            return cli::directoryError(error);
        ads::ObjectPtr object;
        CheckADSIResult(OpenWithContext(ads::escapePathDn(dn), &object));
        if (deny && !SetCannotChangePassword(object, *deny))
            return cli::directoryError(QStringLiteral("The security descriptor of %1 could not be read.").arg(dn));
        CheckADSIResult(OpenWithContext(ads::escapePathDn(dn), &object));
        CheckADSIResult(object->GetInfoEx({QStringLiteral("ntSecurityDescriptor")}));
        QVariant value;
        CheckADSIResult(object->Get(QStringLiteral("ntSecurityDescriptor"), &value));
        const auto sd = security::SecurityDescriptor::parse(value.toByteArray(), &error);
        if (!sd)
            return cli::directoryError(QStringLiteral("The security descriptor of %1 is malformed: %2").arg(dn, error));
        // Names of rights and properties; without them the GUIDs are shown.
        try {
            LoadExtendedRightNames();
            LoadSchemaGuidNames();
        } catch (const Exception &) {
        }
        print(dn, SummarizeSecurityDescriptor(*sd));
        return cli::Ok;
    });
}

} // namespace

ARV_CLI_COMMAND(security, "print an account's owner, DACL and cannot-change-password rule", runSecurity);
