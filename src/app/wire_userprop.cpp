// The user property dialog opens from the grid, the toolbar and the quick panel.
#include "app/wiring.h"
#include "userprop/unUserPropWiring.h"

ARV_APP_WIRING(userprop, userprop::wireMainWindow);
