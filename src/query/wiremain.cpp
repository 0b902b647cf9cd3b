#include "query/wiremain.h"

#include "core/unConnection.h"
#include "main/unMain.h"
#include "query/unFilter.h"
#include "query/unFind.h"

#include <QTreeWidget>

namespace query {

namespace {

FindRequest findRequestFor(const TfrmMain &main)
{
    const TConnectionContext &ctx = ConnectionContext();
    FindRequest r;
    r.basePath = ctx.DomainPath;
    r.userName = ctx.UserName;
    r.password = ctx.Password;
    r.authFlags = main.AuthFlags();
    r.domainFunctionality = ctx.DomainFunctionality;
    r.exchangePresent = DomainFacts().ExchangePresent;
    return r;
}

} // namespace

void wireMainWindow(TfrmMain &main)
{
    TfrmMain *m = &main;
    main.setFilterBuilder([m](QWidget *parent, QString &filter, bool &fromBuilder) {
        const TConnectionContext &ctx = ConnectionContext();
        FilterRequest r;
        r.filter = filter;
        r.fromBuilder = !filter.isEmpty() && fromBuilder;
        // The selected node, else the domain root (the tree's first node has no parent).
        QTreeWidgetItem *node = m->tree()->currentItem();
        if (!node || !node->isSelected())
            node = m->tree()->topLevelItem(0);
        if (node) {
            r.containerPath = TfrmMain::nodePath(node);
            r.containerName = node->text(0);
            r.containerHasParent = node->parent() != nullptr;
        }
        r.userName = ctx.UserName;
        r.password = ctx.Password;
        r.authFlags = m->AuthFlags();
        // The domain's policy comes from the connection context, as for every other opener.
        FilterResult result;
        if (!BuildFilter(parent, r, &result))
            return false;
        filter = result.filter;
        fromBuilder = result.fromBuilder;
        return true;
    });
    main.setFindUserDialog([m](QWidget *parent, QString &dn) {
        FindResult found;
        if (!FindUser(parent, findRequestFor(*m), &found))
            return false;
        dn = found.distinguishedName;
        return true;
    });
}

} // namespace query
