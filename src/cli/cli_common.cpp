#include "cli/cli.h"

#include "core/unSearch.h"
#include "journal/recorder.h"

#include <QRegularExpression>
#include <sys/stat.h>

#include <QFile>
#include <QRegularExpression>

#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace cli {

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

int usageError(const QCommandLineParser &parser, const QString &message)
{
    Q_UNUSED(parser);
    err() << "arvendel-cli: " << message << "\n"
          << "Try 'arvendel-cli " << QCoreApplication::arguments().value(1) << " --help'.\n";
    err().flush();
    return UsageError;
}

int directoryError(const QString &text)
{
    QString shown = text;
    // Messages that carry only a status code ("Search failed (result code 80005014)") get
    // the program's readable text for it as well.
    static const QRegularExpression code(QStringLiteral("\\b(8[0-9A-Fa-f]{7})\\b"));
    const QRegularExpressionMatch m = code.match(shown);
    if (m.hasMatch()) {
        const QString readable = GetADSIErrorText(static_cast<ads::HRESULT>(m.captured(1).toUInt(nullptr, 16))).trimmed();
        if (!readable.isEmpty() && !shown.contains(readable))
            shown += QStringLiteral("\n") + readable;
    }
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    err() << shown.trimmed() << '\n';
    err().flush();
    return DirectoryError;
}

void addConnectionOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {QStringLiteral("settings"), QStringLiteral("Start from the stored connection settings (the default when no --server is given).")},
        {QStringLiteral("server"), QStringLiteral("Domain controller to connect to."), QStringLiteral("name")},
        {QStringLiteral("default-server"), QStringLiteral("Let the system choose the domain controller.")},
        {QStringLiteral("port"), QStringLiteral("LDAP port (digits)."), QStringLiteral("port")},
        {QStringLiteral("ssl"), QStringLiteral("Encrypted connection (LDAPS; port 636 unless --port).")},
        {QStringLiteral("no-ssl"), QStringLiteral("Unencrypted connection (port 389 unless --port).")},
        {QStringLiteral("user"), QStringLiteral("Bind with this account (DOMAIN\\user)."), QStringLiteral("account")},
        {QStringLiteral("no-credentials"), QStringLiteral("Bind with the current logon (Kerberos ticket cache).")},
        {QStringLiteral("password-file"), QStringLiteral("Read the password from the first line of this file."), QStringLiteral("file")},
        {QStringLiteral("password-env"), QStringLiteral("Read the password from this environment variable."), QStringLiteral("variable")},
        {QStringLiteral("secure"), QStringLiteral("Secure (Kerberos) authentication.")},
        {QStringLiteral("simple"), QStringLiteral("Simple bind (use it with --ssl on a real domain).")},
        {QStringLiteral("kerberos-sealing"), QStringLiteral("Ask for Kerberos sealing (with --secure).")},
        {QStringLiteral("no-kerberos-sealing"), QStringLiteral("Do not ask for Kerberos sealing.")},
        {QStringLiteral("remember"), QStringLiteral("Set the stored 'remember me' flag.")},
        {QStringLiteral("no-remember"), QStringLiteral("Clear the stored 'remember me' flag.")},
    });
}

bool promptPassword(const QString &prompt, QString *password)
{
    // Only an interactive run is asked: with its input redirected (scripts, tests) a prompt
    // would hang instead of failing with a clear message.
    if (!::isatty(STDIN_FILENO))
        return false;
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const QByteArray p = prompt.toLocal8Bit();
    if (::write(fd, p.constData(), size_t(p.size())) < 0) {
        ::close(fd);
        return false;
    }
    termios old {};
    const bool isTerm = ::tcgetattr(fd, &old) == 0;
    if (isTerm) {
        termios quiet = old;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    QByteArray line;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        line.append(c);
    if (isTerm)
        ::tcsetattr(fd, TCSAFLUSH, &old);
    if (::write(fd, "\n", 1) < 0) {
    }
    ::close(fd);
    if (line.endsWith('\r'))
        line.chop(1);
    *password = QString::fromLocal8Bit(line);
    line.fill('\0');
    return true;
}

namespace {

bool conflicting(const QCommandLineParser &p, const char *a, const char *b, QString *error)
{
    if (p.isSet(QString::fromLatin1(a)) && p.isSet(QString::fromLatin1(b))) {
        *error = QStringLiteral("--%1 and --%2 cannot be used together").arg(QLatin1String(a), QLatin1String(b));
        return true;
    }
    return false;
}

bool readPasswordSource(const QCommandLineParser &p, QString *password, bool *given, QString *error)
{
    *given = false;
    if (conflicting(p, "password-file", "password-env", error))
        return false;
    if (p.isSet(QStringLiteral("password-file"))) {
        const QString name = p.value(QStringLiteral("password-file"));
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("Cannot read the password file %1: %2").arg(name, f.errorString());
            return false;
        }
        // A password file others can read is a password others can read.
        struct stat st {};
        if (::fstat(f.handle(), &st) == 0 && (st.st_mode & 077))
            err() << "warning: the password file " << name
                  << " can be read by other users; make it owner-only (chmod 600 " << name << ").\n";
        QByteArray line = f.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        *password = QString::fromUtf8(line);
        line.fill('\0');
        *given = true;
    } else if (p.isSet(QStringLiteral("password-env"))) {
        const QString var = p.value(QStringLiteral("password-env"));
        if (!qEnvironmentVariableIsSet(var.toLocal8Bit().constData())) {
            *error = QStringLiteral("The environment variable %1 is not set").arg(var);
            return false;
        }
        *password = qEnvironmentVariable(var.toLocal8Bit().constData());
        // Programs this one starts do not inherit it (the environment of this process as
        // others see it in /proc was fixed at its start and is not changed by this).
        qunsetenv(var.toLocal8Bit().constData());
        *given = true;
    }
    return true;
}

} // namespace

bool applyConnectionOptions(const QCommandLineParser &p, TConnectionSettings *s, QString *error)
{
    if (conflicting(p, "server", "default-server", error) || conflicting(p, "ssl", "no-ssl", error) ||
        conflicting(p, "user", "no-credentials", error) || conflicting(p, "secure", "simple", error) ||
        conflicting(p, "kerberos-sealing", "no-kerberos-sealing", error) ||
        conflicting(p, "remember", "no-remember", error))
        return false;
    if (p.isSet(QStringLiteral("kerberos-sealing")) && p.isSet(QStringLiteral("simple"))) {
        *error = QStringLiteral("Kerberos sealing needs secure authentication: drop --simple");
        return false;
    }
    if (p.isSet(QStringLiteral("server"))) {
        const QString server = p.value(QStringLiteral("server")).trimmed();
        if (server.isEmpty()) {
            *error = QStringLiteral("--server needs a name");
            return false;
        }
        s->UseDefaultServer = false;
        s->ServerName = server;
    }
    if (p.isSet(QStringLiteral("default-server")))
        s->UseDefaultServer = true;
    // As in the connection dialog: switching encryption sets the matching standard port.
    if (p.isSet(QStringLiteral("ssl"))) {
        s->UseEncryption = true;
        s->Port = QStringLiteral("636");
    }
    if (p.isSet(QStringLiteral("no-ssl"))) {
        s->UseEncryption = false;
        s->Port = QStringLiteral("389");
    }
    if (p.isSet(QStringLiteral("port"))) {
        const QString port = p.value(QStringLiteral("port"));
        static const QRegularExpression digits(QStringLiteral("^[0-9]*$"));
        if (!digits.match(port).hasMatch()) {
            *error = QStringLiteral("The port must be digits only: %1").arg(port);
            return false;
        }
        s->Port = port;
    }
    if (p.isSet(QStringLiteral("secure")))
        s->SecureAuthentication = true;
    if (p.isSet(QStringLiteral("simple"))) {
        s->SecureAuthentication = false;
        s->UseKerberos = false;
    }
    if (p.isSet(QStringLiteral("kerberos-sealing"))) {
        s->UseKerberos = true;
        s->SecureAuthentication = true;
    }
    if (p.isSet(QStringLiteral("no-kerberos-sealing")))
        s->UseKerberos = false;
    if (p.isSet(QStringLiteral("remember")))
        s->RememberMe = true;
    if (p.isSet(QStringLiteral("no-remember")))
        s->RememberMe = false;
    if (p.isSet(QStringLiteral("no-credentials"))) {
        s->UseCredentials = false;
        s->UserName.clear();
        s->Password.clear();
    }
    if (p.isSet(QStringLiteral("user"))) {
        const QString user = p.value(QStringLiteral("user"));
        if (user.compare(s->UserName, Qt::CaseInsensitive) != 0)
            s->Password.clear();  // a stored password belongs to the stored account
        s->UseCredentials = true;
        s->UserName = user;
    }
    QString password;
    bool given = false;
    if (!readPasswordSource(p, &password, &given, error))
        return false;
    if (given) {
        s->Password = password;
        if (!p.isSet(QStringLiteral("no-credentials")))
            s->UseCredentials = true;
    }
    return true;
}

bool connectionSettingsFromOptions(const QCommandLineParser &p, TConnectionSettings *s, QString *error)
{
    *s = TConnectionSettings();
    if (p.isSet(QStringLiteral("settings")) || !p.isSet(QStringLiteral("server"))) {
        if (!LoadConnectionSettings(*s, error))
            return false;
    }
    return applyConnectionOptions(p, s, error);
}

bool connect(TConnectionSettings &settings)
{
    // Binding without the credentials that were asked for would quietly act as someone else
    // (the current logon), so a missing password stops here.
    if (settings.UseCredentials && (settings.UserName.isEmpty() || settings.Password.isEmpty())) {
        if (settings.UserName.isEmpty()) {
            err() << "arvendel-cli: credentials are on but no user name is set: give --user DOMAIN\\user or --no-credentials.\n";
            err().flush();
            return false;
        }
        if (!promptPassword(QStringLiteral("Password for %1: ").arg(settings.UserName), &settings.Password) ||
            settings.Password.isEmpty()) {
            if (const QString note = LastPasswordStore().note; !note.isEmpty())
                err() << "arvendel-cli: " << note << '\n';
            err() << "arvendel-cli: a password is needed for " << settings.UserName
                  << ": give --password-file FILE or --password-env VARIABLE, or run on a terminal.\n";
            err().flush();
            return false;
        }
    }
    try {
        ConnectWithSettings(settings);
    } catch (const Exception &e) {
        directoryError(e.Message());
        return false;
    }
    return true;
}

bool parseCommandLine(QCommandLineParser &parser, const QStringList &args, int *exitCode)
{
    addConnectionOptions(parser);
    if (!parser.parse(args)) {
        *exitCode = usageError(parser, parser.errorText());
        return false;
    }
    // --help-all is listed in every command's help; without this it would run the command
    // (and "settings save --help-all" would overwrite the stored settings).
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        out() << parser.helpText();
        *exitCode = Ok;
        return false;
    }
    return true;
}

bool rejectArguments(const QCommandLineParser &parser, int *exitCode)
{
    if (parser.positionalArguments().isEmpty())
        return false;
    *exitCode = usageError(parser, QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));
    return true;
}

int connectFromOptions(const QCommandLineParser &parser)
{
    TConnectionSettings settings;
    QString error;
    if (!connectionSettingsFromOptions(parser, &settings, &error))
        return usageError(parser, error);
    return connect(settings) ? Ok : DirectoryError;
}

int runConnected(const QCommandLineParser &parser, const std::function<int()> &body)
{
    if (const int rc = connectFromOptions(parser); rc != Ok)
        return rc;
    int rc = Ok;
    try {
        rc = body();
    } catch (const Exception &e) {
        out().flush();
        rc = directoryError(e.Message());
    }
    out().flush();
    DisconnectContext();
    return rc;
}

bool journalWritable(int *exitCode)
{
    const auto recorder = journal::installedRecorder();
    QString why;
    if (!recorder || recorder->check(&why))
        return true;
    err() << "arvendel-cli: the change journal cannot be written (" << why
          << "), so nothing was changed. Give --no-journal to change the directory without recording it.\n";
    err().flush();
    *exitCode = DirectoryError;
    return false;
}

QString authFlagsText(quint32 flags)
{
    return QStringLiteral("0x") + QString::number(flags, 16).rightJustified(8, u'0').toUpper();
}

} // namespace cli
