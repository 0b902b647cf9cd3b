// The grid's outputs: HTML, CSV, the workbook and the user document buttons.
#include "app/wiring.h"
#include "main/unGridOutput.h"

ARV_APP_WIRING(gridoutput, gridoutput::wireMainWindow);
