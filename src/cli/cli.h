#pragma once
// arvendel-cli: one dispatcher, one source file per command group.
//
// A command group registers itself in its own file with one line:
//   ARV_CLI_COMMAND(search, "run a directory search and print its rows", runSearch);
// where runSearch is `int runSearch(const QStringList &args)` (args[0] is the command name).
// Every cmd_*.cpp in this folder is built into the tool, so adding a command is one new file.
#include "core/unConnection.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>

namespace cli {

using CommandFunction = int (*)(const QStringList &args);

struct Command {
    const char *name;
    const char *summary;
    CommandFunction run;
};

// Adds a command to the dispatcher's table (called by ARV_CLI_COMMAND at start-up).
bool registerCommand(const char *name, const char *summary, CommandFunction run);

#define ARV_CLI_COMMAND(name, summary, function) \
    static const bool arv_cli_registered_##name = ::cli::registerCommand(#name, summary, function)

// Exit codes.
enum ExitCode { Ok = 0, DirectoryError = 1, UsageError = 2 };

QTextStream &out();
QTextStream &err();

// Prints a usage error with the command's help hint; returns UsageError.
int usageError(const QCommandLineParser &parser, const QString &message);
// Prints the program's error text (CR LF shown as line breaks); returns DirectoryError.
int directoryError(const QString &text);

// The connection options every directory command takes:
//   --settings, --server S, --port P, --ssl, --user DOMAIN\user,
//   --password-file F, --password-env VAR (else a prompt on the terminal),
//   --secure / --simple, --kerberos-sealing
void addConnectionOptions(QCommandLineParser &parser);
// The settings these options describe: the stored settings when --settings is given or no
// server is named, else the defaults; then every option given on top. A password is read from
// the file, the variable or the terminal, never from the command line. False (with error)
// when the options contradict each other or no password can be had.
bool connectionSettingsFromOptions(const QCommandLineParser &parser, TConnectionSettings *settings,
                                   QString *error);
// Applies only the options that were given on top of settings (used by "settings save").
bool applyConnectionOptions(const QCommandLineParser &parser, TConnectionSettings *settings,
                            QString *error);
// Reads a password from the terminal without echo; false when the standard input is not a
// terminal (a redirected run is never asked).
bool promptPassword(const QString &prompt, QString *password);

// Connects with the settings (asking for missing credentials on the terminal when one is
// there); prints the directory's error and returns false on failure.
bool connect(TConnectionSettings &settings);

// Every command's start: adds the connection options to its own, parses args and answers
// --help. False when the command is finished already (help printed, or a usage error
// reported), with the exit code in *exitCode; true when it goes on.
bool parseCommandLine(QCommandLineParser &parser, const QStringList &args, int *exitCode);
// Usage error unless the command was given no positional arguments.
bool rejectArguments(const QCommandLineParser &parser, int *exitCode);
// Builds the settings from the options and connects. Ok when connected; otherwise the
// error has been printed and the exit code to return comes back.
int connectFromOptions(const QCommandLineParser &parser);
// Connects as connectFromOptions does, runs body and disconnects again. An Exception that body
// raises ends it with the program's text on standard error (what body printed is flushed
// first) and DirectoryError; otherwise body's exit code comes back.
int runConnected(const QCommandLineParser &parser, const std::function<int()> &body);
// Before a command writes to the directory: true when the change journal can be written (or
// --no-journal turned it off); otherwise prints why and that --no-journal writes unrecorded,
// sets *exitCode to DirectoryError and returns false.
bool journalWritable(int *exitCode);
// The authentication flags as the tool prints them: 0x and eight upper-case hex digits.
QString authFlagsText(quint32 flags);

} // namespace cli
