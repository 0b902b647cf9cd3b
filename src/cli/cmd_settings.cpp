// arvendel-cli settings: shows or writes the stored connection settings.
#include "cli/cli.h"
#include "platform/registry/registry.h"
#include "ui/layoutstore.h"

namespace {

const char *yesNo(bool v) { return v ? "true" : "false"; }

const char *storeText(TPasswordStore::Where where)
{
    switch (where) {
    case TPasswordStore::Keyring: return "keyring";
    case TPasswordStore::SettingsFile: return "settings file (obfuscated)";
    case TPasswordStore::Session: return "this session only";
    case TPasswordStore::Nowhere: break;
    }
    return "none";
}

// What the keyring said when it could not be used, on standard error.
void printKeyringNote()
{
    const QString note = LastPasswordStore().note;
    if (!note.isEmpty()) {
        cli::err() << "arvendel-cli: " << note << '\n';
        cli::err().flush();
    }
}

void show(const TConnectionSettings &s)
{
    QTextStream &o = cli::out();
    o << "File: " << registry::storeFile() << '\n'
      << "UseCredentials: " << yesNo(s.UseCredentials) << '\n'
      << "UseDefaultServer: " << yesNo(s.UseDefaultServer) << '\n'
      << "UseEncryption: " << yesNo(s.UseEncryption) << '\n'
      << "SecureAuthentication: " << yesNo(s.SecureAuthentication) << '\n'
      << "UseKerberos: " << yesNo(s.UseKerberos) << '\n'
      << "RememberMe: " << yesNo(s.RememberMe) << '\n'
      << "ServerName: " << s.ServerName << '\n'
      << "Port: " << s.Port << '\n'
      << "UserName: " << s.UserName << '\n'
      << "Password: " << (s.Password.isEmpty() ? "(empty)" : "(set)") << '\n'
      << "PasswordStore: " << storeText(LastPasswordStore().where) << '\n'
      << "RootDSE: " << GetRootDSEPath(s) << '\n'
      << "AuthFlags: " << cli::authFlagsText(GetAuthFlags(s)) << '\n';
    o.flush();
}

int runSettings(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "settings show: prints the stored connection settings (never the password).\n"
        "settings save [options]: changes the stored settings by the options given and saves "
        "them; --test saves only when a test bind with them succeeds; --reset starts from the "
        "defaults instead of the stored settings.\n"
        "settings reset-layout: forgets the window sizes, splitter positions and column widths "
        "the program's windows remember, so that they open at their defaults again."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("action"), QStringLiteral("show, save or reset-layout"));
    parser.addOptions({
        {QStringLiteral("test"), QStringLiteral("Save only after a successful test bind.")},
        {QStringLiteral("reset"), QStringLiteral("Start from the default settings.")},
    });
    int exitCode = cli::Ok;
    if (!cli::parseCommandLine(parser, args, &exitCode))
        return exitCode;
    const QStringList pos = parser.positionalArguments();
    const QString action = pos.value(0);
    if (pos.size() != 1 ||
        (action != QLatin1String("show") && action != QLatin1String("save") && action != QLatin1String("reset-layout")))
        return cli::usageError(parser, QStringLiteral("say 'settings show', 'settings save' or 'settings reset-layout'"));
    if (action == QLatin1String("reset-layout")) {
        const QStringList windows = ui::rememberedWindows();
        QString error;
        if (!ui::forgetWindowLayouts(&error)) {
            cli::err() << "arvendel-cli: " << error << '\n';
            return cli::DirectoryError;
        }
        cli::out() << "Window layouts forgotten: " << (windows.isEmpty() ? QStringLiteral("none") : windows.join(QStringLiteral(", ")))
                   << '\n';
        cli::out().flush();
        return cli::Ok;
    }

    TConnectionSettings s;
    QString error;
    if (!parser.isSet(QStringLiteral("reset")) && !LoadConnectionSettings(s, &error))
        return cli::directoryError(error);
    if (action == QLatin1String("show")) {
        printKeyringNote();
        show(s);
        return cli::Ok;
    }
    if (!cli::applyConnectionOptions(parser, &s, &error))
        return cli::usageError(parser, error);
    if (s.UseCredentials && !s.UserName.isEmpty() && s.Password.isEmpty() &&
        !cli::promptPassword(QStringLiteral("Password for %1: ").arg(s.UserName), &s.Password)) {
        cli::err() << "arvendel-cli: saved without a password (no terminal to ask on); the program "
                      "will ask for it when it connects.\n";
    }
    const bool ok = parser.isSet(QStringLiteral("test")) ? ApplyConnectionSettings(s, &error)
                                                         : SaveConnectionSettings(s, &error);
    if (!ok)
        return cli::directoryError(error);
    printKeyringNote();
    show(s);
    return cli::Ok;
}

} // namespace

ARV_CLI_COMMAND(settings, "show or save the stored connection settings", runSettings);
