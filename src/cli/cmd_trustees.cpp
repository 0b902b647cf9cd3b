// arvendel-cli trustees: who may do what on an account, as the property dialog's Security tab
// (or, with --mailbox, its mailbox rights) shows it: one block per trustee with the rights
// allowed and denied.
#include "cli/cli.h"
#include "core/unValues.h"
#include "platform/adsi/adspath.h"
#include "platform/adsi/adssecurity.h"
#include "userprop/unSecurityLogic.h"

namespace {

int runTrustees(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints the trustees of an object's security descriptor with the rights each is allowed "
        "and denied, as the Security tab shows them. --mailbox reads the mailbox security "
        "descriptor (msExchMailboxSecurityDescriptor) and its mailbox rights instead."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("dn"), QStringLiteral("Distinguished name of the object."));
    parser.addOptions({{QStringLiteral("mailbox"), QStringLiteral("Mailbox rights instead of directory rights.")}});
    int exitCode = cli::Ok;
    if (!cli::parseCommandLine(parser, args, &exitCode))
        return exitCode;
    if (parser.positionalArguments().size() != 1)
        return cli::usageError(parser, QStringLiteral("name exactly one object"));
    const bool mailbox = parser.isSet(QStringLiteral("mailbox"));
    if (const int rc = cli::connectFromOptions(parser); rc != cli::Ok)
        return rc;
    int result = cli::Ok;
    try {
        const QString dn = parser.positionalArguments().first();
        ads::ObjectPtr object;
        CheckADSIResult(OpenWithContext(ads::escapePathDn(dn), &object));
        const QString attribute = mailbox ? QStringLiteral("msExchMailboxSecurityDescriptor")
                                          : QStringLiteral("ntSecurityDescriptor");
        ads::SecurityDescriptor sd;
        const ads::HRESULT hr = ads::GetSecurityDescriptor(object, attribute, &sd);
        if (ads::failed(hr)) {
            DisconnectContext();
            return cli::directoryError(QStringLiteral("You do not have access to the Security Descriptor (%1: %2)")
                                           .arg(attribute, GetADSIErrorText(hr)));
        }
        QList<userprop::TrusteeSummary> rows = userprop::SummarizeTrustees(sd.DiscretionaryAcl.entries);
        for (userprop::TrusteeSummary &r : rows)
            r.caption = userprop::TrusteeDisplayText(r.trustee, userprop::LookupTrusteeName);
        std::stable_sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) {
            return QString::compare(a.caption, b.caption, Qt::CaseInsensitive) < 0;
        });
        QTextStream &o = cli::out();
        o << "Object: " << dn << '\n';
        if (!mailbox)
            o << "Inheritable permissions from the parent: "
              << ((sd.Control & 0x1000) ? "disabled" : "enabled") << '\n';
        const auto &rights = mailbox ? userprop::MailboxRightRows() : userprop::SecurityRightRows();
        for (const userprop::TrusteeSummary &r : rows) {
            o << r.caption << " [" << r.trustee << "]\n";
            QStringList allowed, denied;
            for (const userprop::RightRow &row : rights) {
                if (userprop::SideHasRight(row, r.allow, r.allowExtended))
                    allowed << QLatin1String(row.caption);
                if (userprop::SideHasRight(row, r.deny, r.denyExtended))
                    denied << QLatin1String(row.caption);
            }
            o << "  allow: " << (allowed.isEmpty() ? QStringLiteral("-") : allowed.join(QStringLiteral(", "))) << '\n';
            o << "  deny:  " << (denied.isEmpty() ? QStringLiteral("-") : denied.join(QStringLiteral(", "))) << '\n';
        }
        o.flush();
    } catch (const Exception &e) {
        cli::out().flush();
        result = cli::directoryError(e.Message());
    }
    DisconnectContext();
    return result;
}

} // namespace

ARV_CLI_COMMAND(trustees, "print who may do what on an object, per trustee (Security tab, mailbox rights)", runTrustees);
