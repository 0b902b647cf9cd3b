// The program: one instance per user session, the data module, the main window. With
// --demo <domain folder> it stores connection settings for the test domain started in that
// folder (in a settings file of the demo's own) and connects at once.
#include "app/wiring.h"
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

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Arvendel"));
    QApplication::setOrganizationName(QStringLiteral("Vastrel"));

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
