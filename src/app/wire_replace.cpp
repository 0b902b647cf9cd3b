// Find and replace opens from the main window's actFindAndReplace.
#include "app/wiring.h"
#include "bulk/unFindAndReplaceWiring.h"

ARV_APP_WIRING(replace, findreplace::wireMainWindow);
