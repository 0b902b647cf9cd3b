#include "userprop/unUserPropWiring.h"

#include "core/unSearch.h"
#include "main/unMain.h"
#include "main/unQuickPanel.h"
#include "ui/prompt.h"
#include "userprop/unManager.h"
#include "userprop/unUserProp.h"

#include <QTimer>

namespace userprop {

void wireMainWindow(TfrmMain &main)
{
    TfrmMain *m = &main;
    main.setUserPropertiesOpener([m](QWidget *parent, const QString &dn) {
        try {
            openUserProperties(nullptr, dn, UserPropConnection::fromContext(), false, m);
        } catch (const Exception &e) {
            ui::Prompt::error(parent, e.Message(), QStringLiteral("Arvendel"));
        }
    });
    // The manager button opens the manager dialog, which has the user picker behind its
    // "Change". Set once every wiring has run, so that it is the picker the panel keeps.
    QTimer::singleShot(0, m, [m] {
        if (TQuickPanel *panel = m->quickPanel())
            panel->setManagerPicker([](QWidget *parent, QString &name, QString &dn) {
                return TfrmManager::edit(parent, name, dn, UserPropConnection::fromContext());
            });
    });
}

} // namespace userprop
