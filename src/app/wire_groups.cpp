// "Groups" and "Query-Based Distribution Groups" open the group windows.
#include "app/wiring.h"
#include "groups/unGroupsWiring.h"

ARV_APP_WIRING(groups, groups::wireMainWindow);
