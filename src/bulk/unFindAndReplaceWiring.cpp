#include "bulk/unFindAndReplaceWiring.h"

#include "bulk/unFindAndReplace.h"
#include "main/unMain.h"
#include "main/unUserListing.h"
#include "platform/adsi/adspath.h"
#include "query/unFilter.h"
#include "query/unFind.h"

#include <QTreeWidget>

namespace findreplace {

void wireMainWindow(TfrmMain &main)
{
    TfrmMain *m = &main;
    main.setActionHandler(main.actFindAndReplace, [m] {
        TfrmFindAndReplace dlg(m);
        // The selected node, else the tree's first node when it is a root.
        QTreeWidgetItem *node = m->tree()->currentItem();
        if (!node || !node->isSelected())
            node = m->tree()->topLevelItem(0);
        if (node) {
            const QString path = TfrmMain::nodePath(node);
            ads::AdsPath parsed;
            const QString shown = ads::AdsPath::parse(path, &parsed) ? parsed.dn : path;
            dlg.setContainer(path, shown.isEmpty() ? node->text(0) : shown, node->parent() == nullptr);
        }
        if (userlist::TUserList *list = m->userList())
            dlg.setExtraRestriction(list->currentFilter(), list->filterFromBuilder());
        dlg.setFilterBuilder([node](QWidget *parent, QString &filter, bool &fromBuilder) {
            query::FilterRequest r;
            r.filter = filter;
            r.fromBuilder = fromBuilder;
            if (node) {
                r.containerPath = TfrmMain::nodePath(node);
                r.containerName = node->text(0);
                r.containerHasParent = node->parent() != nullptr;
            }
            query::FilterResult result;
            if (!query::BuildFilter(parent, r, &result))
                return false;
            filter = result.filter;
            fromBuilder = result.fromBuilder;
            return true;
        });
        dlg.setUserPicker([](QWidget *parent, QString &name, QString &dn) {
            query::FindRequest r;
            r.basePath = ConnectionContext().DomainPath;
            query::FindResult found;
            if (!query::FindUser(parent, r, &found))
                return false;
            name = found.name;
            dn = found.distinguishedName;
            return true;
        });
        dlg.exec();
    });
}

} // namespace findreplace
