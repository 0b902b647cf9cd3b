#include "userprop/unUserPropWiring.h"

#include "core/unSearch.h"
#include "main/unMain.h"
#include "main/unQuickPanel.h"
#include "ui/prompt.h"
#include "userprop/unBussPhone.h"
#include "userprop/unManager.h"
#include "userprop/unUserProp.h"


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
    // The panel's manager button opens the manager dialog, which has the user picker behind
    // its "Change".
    if (TQuickPanel *panel = m->quickPanel())
        panel->setManagerPicker([](QWidget *parent, QString &name, QString &dn) {
            return TfrmManager::edit(parent, name, dn, UserPropConnection::fromContext());
        });
    if (TQuickPanel *panel = m->quickPanel())
        panel->setOtherValuesEditor([](QWidget *parent, const ads::ObjectPtr &user, const QString &attribute,
                                       bool writable, int key) {
            TfrmBussPhone::edit(parent, user, attribute, key, writable, UserPropConnection::fromContext());
        });
}

} // namespace userprop
