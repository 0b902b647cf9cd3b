// arvendel-cli connect: connects and prints the connection context.
#include "cli/cli.h"

namespace {

int runConnect(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Connects to the directory and prints the connection context, one 'Name: value' line "
        "per field. Without --server the stored connection settings are used."));
    parser.addHelpOption();
    cli::addConnectionOptions(parser);
    if (!parser.parse(args))
        return cli::usageError(parser, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        cli::out() << parser.helpText();
        return cli::Ok;
    }
    if (!parser.positionalArguments().isEmpty())
        return cli::usageError(parser, QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));
    TConnectionSettings settings;
    QString error;
    if (!cli::connectionSettingsFromOptions(parser, &settings, &error))
        return cli::usageError(parser, error);
    if (!cli::connect(settings))
        return cli::DirectoryError;
    const TConnectionContext &c = ConnectionContext();
    QTextStream &o = cli::out();
    o << "ServerPrefix: " << c.ServerPrefix << '\n'
      << "DomainPath: " << c.DomainPath << '\n'
      << "DefaultNamingContext: " << c.DefaultNamingContext << '\n'
      << "DcHostName: " << c.DcHostName << '\n'
      << "DcShortName: " << c.DcShortName << '\n'
      << "DnsDomainName: " << c.DnsDomainName << '\n'
      << "DomainFunctionality: " << c.DomainFunctionality << '\n'
      << "AuthFlags: 0x" << QString::number(c.AuthFlags, 16).rightJustified(8, u'0').toUpper() << '\n'
      << "UseCredentials: " << (c.UseCredentials ? "true" : "false") << '\n'
      << "UserName: " << c.UserName << '\n';
    o.flush();
    DisconnectContext();
    return cli::Ok;
}

} // namespace

ARV_CLI_COMMAND(connect, "connect and print the connection context", runConnect);
