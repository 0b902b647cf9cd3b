// Every directory write is recorded in the change journal; "Change History..." opens it.
#include "app/wiring.h"
#include "journal/window/journalwiring.h"

ARV_APP_WIRING(journal, journal::wireMainWindow);
