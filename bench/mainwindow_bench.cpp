// Main window figures: the time from Connect until the domain tree shows the domain's
// top-level containers, and until the schema readers behind it have ended, on a fresh window
// each round (offscreen, with the stored settings naming the test domain).
//
//   ARV_TEST_DOMAIN=<domain folder> mainwindow_bench [--rounds N]
#include "mainwindow_support.h"

#include "main/unMain.h"
#include "support/testdomain.h"
#include "benchutil.h"
#include "ui/prompt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using bench::median;

void printSpread(const char *what, std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    std::printf("  %-36s median %.3f s  (min %.3f, max %.3f)\n", what, median(v), v.front(), v.back());
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rounds = std::max(1, bench::option(args, QStringLiteral("--rounds"), QStringLiteral("5")).toInt());
    if (!testsupport::domainAvailable()) {
        std::fprintf(stderr, "no test domain: set ARV_TEST_DOMAIN to a running domain's folder\n");
        return 2;
    }
    testsupport::useDomainEnvironment();
    mwtest::TempSettings store;
    if (!SaveConnectionSettings(mwtest::domainSettings())) {
        std::fprintf(stderr, "the connection settings could not be stored\n");
        return 1;
    }
    ui::ScriptedPrompts prompts;
    std::vector<double> tree, schema;
    for (int r = 0; r < rounds; ++r) {
        TfrmMain w;
        w.show();
        QElapsedTimer t;
        t.start();
        w.acConnectExecute();
        const bool shown = mwtest::waitFor(
            [&] { return w.tree()->topLevelItemCount() == 1 && w.tree()->topLevelItem(0)->childCount() > 0; }, 60000);
        tree.push_back(t.nsecsElapsed() / 1e9);
        const bool loaded = mwtest::waitFor([&] { return !w.schemaThreadsRunning(); }, 120000);
        schema.push_back(t.nsecsElapsed() / 1e9);
        if (!shown || !loaded || !prompts.asked().isEmpty()) {
            std::fprintf(stderr, "round %d: the window did not connect cleanly (tree %d, schema %d, %lld prompts)\n",
                         r + 1, shown, loaded, static_cast<long long>(prompts.asked().size()));
            return 1;
        }
    }
    std::printf("main window, Connect on %s, %d rounds (a fresh window each):\n",
                qPrintable(testsupport::fact("ADDR")), rounds);
    printSpread("domain tree shown", tree);
    printSpread("schema readers ended", schema);
    return 0;
}
