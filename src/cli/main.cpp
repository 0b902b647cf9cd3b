// arvendel-cli: the program's directory functions for scripts and tests, without a display.
#include "cli/cli.h"
#include "core/unValues.h"
#include "platform/secrets/secrets.h"
#include "journal/recorder.h"

#include <QCoreApplication>
#include <algorithm>
#include <unistd.h>
#include <vector>

namespace cli {

namespace {

std::vector<Command> &table()
{
    static std::vector<Command> commands;
    return commands;
}

void printUsage(QTextStream &s)
{
    s << "Usage: arvendel-cli <command> [options]\n\nCommands:\n";
    auto commands = table();
    std::sort(commands.begin(), commands.end(),
              [](const Command &a, const Command &b) { return qstrcmp(a.name, b.name) < 0; });
    for (const Command &c : commands)
        s << "  " << QString::fromLatin1(c.name).leftJustified(12) << ' ' << c.summary << '\n';
    s << "\n'arvendel-cli <command> --help' describes a command's options; '--version' prints the version.\n"
         "Every change a command makes is recorded in the change journal (see 'journal'); --no-journal\n"
         "makes it without recording.\n";
    s.flush();
}

} // namespace

bool registerCommand(const char *name, const char *summary, CommandFunction run)
{
    table().push_back({name, summary, run});
    return true;
}

} // namespace cli

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("arvendel-cli"));
    // The desktop may ask to unlock the keyring only when someone is there to answer.
    secrets::setUnlockPromptAllowed(::isatty(STDIN_FILENO));
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.value(0) == QLatin1String("--version") || args.value(0) == QLatin1String("-V")) {
        cli::out() << "arvendel-cli " << GetFileVersionText() << '\n';
        cli::out().flush();
        return cli::Ok;
    }
    // Every directory write of every command is recorded in the change journal, unless
    // --no-journal (accepted anywhere on the line) says otherwise.
    if (args.removeAll(QStringLiteral("--no-journal")) == 0)
        journal::install();
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h") ||
        args.first() == QLatin1String("help")) {
        cli::printUsage(args.isEmpty() ? cli::err() : cli::out());
        return args.isEmpty() ? cli::UsageError : cli::Ok;
    }
    for (const cli::Command &c : cli::table())
        if (args.first() == QLatin1String(c.name))
            return c.run(args);
    cli::err() << "arvendel-cli: unknown command '" << args.first() << "'\n";
    cli::printUsage(cli::err());
    return cli::UsageError;
}
