// The network browser behind the connection dialog's "  ..." and "Server(s) Information".
#include "app/wiring.h"
#include "network/unNetworkWiring.h"

ARV_APP_WIRING(network, network::wireMainWindow);
