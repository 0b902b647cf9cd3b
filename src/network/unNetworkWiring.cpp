#include "network/unNetworkWiring.h"

#include "core/unConnection.h"
#include "main/unConnectionDlg.h"
#include "main/unMain.h"
#include "network/unDcServers.h"
#include "network/unNetOpenEnum.h"
#include "network/unServerInfo.h"

#include <QAction>

namespace network {

void wireMainWindow(TfrmMain &main)
{
    auto *browser = new TfrmNetOpenEnum(&main, true);
    TfrmNetOpenEnum::setInstance(browser);
    TfrmConnection::setServerBrowser([](QWidget *parent, QString *server, QString *domain) {
        // A connected program also lists its forest's domains and reads the servers' computer
        // objects through its connection.
        ShareConnectionWithNetwork();
        if (!TfrmNetOpenEnum::BrowseForServer(parent, server, domain))
            return false;
        ConnectionValuesOfPickedServer(server, domain);
        return true;
    });
    main.setActionHandler(main.actServerInformation, [&main] {
        const TConnectionContext &c = ConnectionContext();
        ShowServerInfo(&main, c.ServerPrefix, c.DomainPath, c.AuthFlags, c.Password, c.UserName,
                       c.DefaultNamingContext);
    });
}

} // namespace network
