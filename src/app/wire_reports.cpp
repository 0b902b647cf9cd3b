// The report windows open from the main window's ActionReports.
#include "app/wiring.h"
#include "reports/unReports.h"

ARV_APP_WIRING(reports, reports::wireMainWindow);
