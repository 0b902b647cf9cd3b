#include "groups/unGroupsWiring.h"

#include "groups/unGroupPages.h"
#include "groups/unGroupView.h"
#include "groups/unSelectGroup.h"
#include "main/unMain.h"
#include "userprop/unSecurityViews.h"
#include "userprop/unSelectGroups.h"
#include "userprop/unUserProp.h"

namespace groups {

void wireDialogs()
{
    // The manager's "Properties" opens the user property dialog beside the group window (an
    // open one of the same user comes to the front).
    setUserPropertiesOpener([](QWidget *cascadeFrom, const QString &dn) {
        userprop::openUserProperties(cascadeFrom, dn, userprop::UserPropConnection::fromContext(), true);
    });
    // "Member Of" picks groups with the user property dialog's group picker.
    setGroupPicker([](QWidget *parent, const QStringList &current, const QString &groupName, QStringList *chosen) {
        return TfrmSelectGroups::pick(parent, userprop::UserPropConnection::fromContext(), current, groupName, *chosen);
    });
    // "Advanced..." of the Securty tab: the property dialog's advanced security view.
    setAdvancedSecurityOpener([](QWidget *parent, const ads::ObjectPtr &object, const ads::SecurityDescriptor &sd) {
        userprop::TfrmAdvancedAttributes view(object, sd, userprop::TfrmAdvancedAttributes::DirectoryObject, parent);
        view.exec();
    });
}

void wireMainWindow(TfrmMain &main)
{
    wireDialogs();
    TfrmMain *m = &main;
    main.setActionHandler(main.ActionGroups, [m] {
        TfrmSelectGroup dlg(m);
        dlg.exec();
    });
    main.setActionHandler(main.ActionQueryBasedDL, [m] {
        TfrmQueryBasedDistributionList dlg(m);
        dlg.exec();
    });
}

} // namespace groups
