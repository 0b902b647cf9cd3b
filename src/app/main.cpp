// The program: one instance per user session, the data module, the main window. With
// --demo <domain folder> it stores connection settings for the test domain started in that
// folder (in a settings file of the demo's own) and connects at once.
#include "app/wiring.h"
#include "core/unValues.h"
#include "main/unDataModule.h"
#include "main/unDomainTree.h"
#include "main/unMain.h"
#include "main/unSingleInstance.h"
#include "options/unOptions.h"
#include "ui/prompt.h"
#include "ui/texts.h"

#include <QApplication>
#include <QStringList>
#include <QTimer>

#include <cstdio>

namespace {

// --version and --help are answered before the window system is touched, so that they work
// without a display (package checks, a terminal over ssh).
bool answerInformationOptions(int argc, char *argv[], int *exitCode)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--version") {
            std::printf("arvendel %s\n", qPrintable(GetFileVersionText()));
            *exitCode = 0;
            return true;
        }
        if (a == "--help" || a == "-h") {
            std::printf("Usage: arvendel [--demo FOLDER]\n"
                        "Administers the user accounts of an Active Directory domain.\n\n"
                        "Options:\n"
                        "  --demo FOLDER  connect at once to the test domain running in FOLDER\n"
                        "                 (tests/domain/testdomain.sh), with settings of the demo's own\n"
                        "  --version      print the version and exit\n"
                        "  -h, --help     print these options and exit\n\n"
                        "Qt's own options (-platform, -style, ...) are accepted as well. The settings file,\n"
                        "the environment variables and the command-line tool: arvendel(1), arvendel-cli(1).\n");
            *exitCode = 0;
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (int exitCode = 0; answerInformationOptions(argc, argv, &exitCode))
        return exitCode;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Arvendel"));
    QApplication::setOrganizationName(QStringLiteral("Vastrel"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.vastrel.Arvendel"));

    const QStringList args = QApplication::arguments();
    QString demo;
    if (const qsizetype at = args.indexOf(QStringLiteral("--demo")); at >= 0) {
        if (at + 1 >= args.size()) {
            std::fprintf(stderr, "arvendel: --demo needs the folder of a running test domain\n");
            return 2;
        }
        demo = args.at(at + 1);
    }

    // A second start brings the first to the front and ends.
    TSingleInstance instance;
    if (!instance.claim())
        return 0;

    QString demoError;
    const bool demoReady = !demo.isEmpty() && mainwin::prepareDemo(demo, &demoError);

    // The style is chosen once, from the stored options, before the first window exists.
    {
        options::TOptions stored;
        options::LoadOptions(stored);
        options::ApplyThemeStyle();
    }

    ui::installHintTiming();
    TDM::instance();
    QApplication::setWindowIcon(TDM::instance().appIcon());
    TfrmMain frmMain;
    for (app::WiringFunction wire : app::wirings())
        wire(frmMain);
    instance.setWindow(&frmMain);
    frmMain.show();

    if (!demo.isEmpty()) {
        if (demoReady)
            QTimer::singleShot(0, &frmMain, &TfrmMain::acConnectExecute);
        else
            QTimer::singleShot(0, &frmMain, [&] {
                ui::Prompt::message(&frmMain, demoError, QStringLiteral("Arvendel"), ui::Icon::Error);
            });
    }
    return app.exec();
}
