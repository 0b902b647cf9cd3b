// arvendel-cli translate: converts an object's name between its forms (the name translator
// of the connection).
#include "cli/cli.h"

namespace {

int nameType(const QString &text)
{
    const QString t = text.toLower();
    if (t == QLatin1String("dn") || t == QLatin1String("1779"))
        return TNameTranslate::ADS_NAME_TYPE_1779;
    if (t == QLatin1String("canonical"))
        return TNameTranslate::ADS_NAME_TYPE_CANONICAL;
    if (t == QLatin1String("nt4"))
        return TNameTranslate::ADS_NAME_TYPE_NT4;
    if (t == QLatin1String("display"))
        return TNameTranslate::ADS_NAME_TYPE_DISPLAY;
    if (t == QLatin1String("guid"))
        return TNameTranslate::ADS_NAME_TYPE_GUID;
    if (t == QLatin1String("upn"))
        return TNameTranslate::ADS_NAME_TYPE_USER_PRINCIPAL_NAME;
    if (t == QLatin1String("unknown"))
        return TNameTranslate::ADS_NAME_TYPE_UNKNOWN;
    return 0;
}

int runTranslate(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints the name of a directory object in another form. Forms: dn, canonical, nt4, "
        "upn, display, guid (and unknown for --from: guessed from the name)."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("name"), QStringLiteral("the object's name"));
    parser.addOptions({
        {QStringLiteral("from"), QStringLiteral("Form of the name given (default unknown)."), QStringLiteral("form")},
        {QStringLiteral("to"), QStringLiteral("Form to print (default dn)."), QStringLiteral("form")},
    });
    int exitCode = cli::Ok;
    if (!cli::parseCommandLine(parser, args, &exitCode))
        return exitCode;
    if (parser.positionalArguments().size() != 1)
        return cli::usageError(parser, QStringLiteral("give exactly one name"));
    const int from = nameType(parser.isSet(QStringLiteral("from")) ? parser.value(QStringLiteral("from")) : QStringLiteral("unknown"));
    const int to = nameType(parser.isSet(QStringLiteral("to")) ? parser.value(QStringLiteral("to")) : QStringLiteral("dn"));
    if (!from || !to || to == TNameTranslate::ADS_NAME_TYPE_UNKNOWN)
        return cli::usageError(parser, QStringLiteral("unknown name form"));
    if (const int rc = cli::connectFromOptions(parser); rc != cli::Ok)
        return rc;
    const auto translator = GetNameTranslator();
    if (!translator) {
        DisconnectContext();
        return cli::directoryError(QStringLiteral("The name translation service of the domain could not be reached."));
    }
    ads::HRESULT hr = translator->Set(from, parser.positionalArguments().first());
    QString name;
    if (ads::succeeded(hr))
        hr = translator->Get(to, &name);
    DisconnectContext();
    if (ads::failed(hr))
        return cli::directoryError(GetADSIErrorText(hr));
    cli::out() << name << '\n';
    cli::out().flush();
    return cli::Ok;
}

} // namespace

ARV_CLI_COMMAND(translate, "convert an object's name between DN, canonical, NT4 and UPN forms", runTranslate);
