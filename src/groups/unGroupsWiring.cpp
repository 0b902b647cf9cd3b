#include "groups/unGroupsWiring.h"

#include "groups/unSelectGroup.h"
#include "main/unMain.h"

namespace groups {

void wireMainWindow(TfrmMain &main)
{
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
