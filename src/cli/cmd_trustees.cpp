// arvendel-cli trustees: who may do what on an account, as the property dialog's Security tab
// (or, with --mailbox, its mailbox rights) shows it: one block per trustee with the rights
// allowed and denied.
#include "cli/cli.h"
#include "cli/output/printer.h"
#include "core/unValues.h"
#include "platform/adsi/adspath.h"
#include "platform/adsi/adssecurity.h"
#include "userprop/unSecurityLogic.h"

namespace {

struct Rights {
    QStringList allowed, denied;
};

Rights rightsOf(const userprop::TrusteeSummary &r, bool mailbox)
{
    Rights out;
    for (const userprop::RightRow &row : mailbox ? userprop::MailboxRightRows() : userprop::SecurityRightRows()) {
        if (userprop::SideHasRight(row, r.allow, r.allowExtended))
            out.allowed << QLatin1String(row.caption);
        if (userprop::SideHasRight(row, r.deny, r.denyExtended))
            out.denied << QLatin1String(row.caption);
    }
    return out;
}

void printText(const QString &dn, const ads::SecurityDescriptor &sd, const QList<userprop::TrusteeSummary> &rows, bool mailbox)
{
    QTextStream &o = cli::out();
    o << "Object: " << dn << '\n';
    if (!mailbox)
        o << "Inheritable permissions from the parent: " << ((sd.Control & 0x1000) ? "disabled" : "enabled") << '\n';
    for (const userprop::TrusteeSummary &r : rows) {
        const Rights rights = rightsOf(r, mailbox);
        o << r.caption << " [" << r.trustee << "]\n";
        o << "  allow: " << (rights.allowed.isEmpty() ? QStringLiteral("-") : rights.allowed.join(QStringLiteral(", "))) << '\n';
        o << "  deny:  " << (rights.denied.isEmpty() ? QStringLiteral("-") : rights.denied.join(QStringLiteral(", "))) << '\n';
    }
}

// JSON: one row per trustee: dn (the object), trustee, sid, allow, deny, and (directory
// rights) inheritFromParent.
void printJson(const QString &dn, const ads::SecurityDescriptor &sd, const QList<userprop::TrusteeSummary> &rows, bool mailbox)
{
    cli::output::Printer printer(cli::out(), cli::output::Format::Json);
    for (const userprop::TrusteeSummary &r : rows) {
        const Rights rights = rightsOf(r, mailbox);
        cli::output::JsonObject o;
        o.add(QStringLiteral("trustee"), r.caption)
            .add(QStringLiteral("sid"), r.trustee)
            .add(QStringLiteral("allow"), rights.allowed)
            .add(QStringLiteral("deny"), rights.denied);
        if (!mailbox)
            o.add(QStringLiteral("inheritFromParent"), (sd.Control & 0x1000) == 0);
        printer.record(dn, o);
    }
}

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
    cli::output::addFormatOption(parser, false);
    int exitCode = cli::Ok;
    if (!cli::parseCommandLine(parser, args, &exitCode))
        return exitCode;
    if (parser.positionalArguments().size() != 1)
        return cli::usageError(parser, QStringLiteral("name exactly one object"));
    cli::output::Format format;
    QString error;
    if (!cli::output::formatFromOptions(parser, false, &format, &error))
        return cli::usageError(parser, error);
    const bool mailbox = parser.isSet(QStringLiteral("mailbox"));
    return cli::runConnected(parser, [&]() -> int {
        const QString dn = parser.positionalArguments().first();
        ads::ObjectPtr object;
        CheckADSIResult(OpenWithContext(ads::escapePathDn(dn), &object));
        const QString attribute = mailbox ? QStringLiteral("msExchMailboxSecurityDescriptor")
                                          : QStringLiteral("ntSecurityDescriptor");
        ads::SecurityDescriptor sd;
        const ads::HRESULT hr = ads::GetSecurityDescriptor(object, attribute, &sd);
        if (ads::failed(hr))
            return cli::directoryError(QStringLiteral("You do not have access to the Security Descriptor (%1: %2)")
                                           .arg(attribute, GetADSIErrorText(hr)));
        QList<userprop::TrusteeSummary> rows = userprop::SummarizeTrustees(sd.DiscretionaryAcl.entries);
        for (userprop::TrusteeSummary &r : rows)
            r.caption = userprop::TrusteeDisplayText(r.trustee, userprop::LookupTrusteeName);
        std::stable_sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) {
            return QString::compare(a.caption, b.caption, Qt::CaseInsensitive) < 0;
        });
        if (format == cli::output::Format::Json)
            printJson(dn, sd, rows, mailbox);
        else
            printText(dn, sd, rows, mailbox);
        return cli::Ok;
    });
}

} // namespace

ARV_CLI_COMMAND(trustees, "print who may do what on an object, per trustee (Security tab, mailbox rights)", runTrustees);
