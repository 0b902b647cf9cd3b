// Bulk Export: the batch export window with its column chooser and the export window.
#include "app/wiring.h"
#include "bulk/unBatchExport.h"

ARV_APP_WIRING(bulkexport, bulk::wireExport);
