// The filter builder, Find User and the quick panel's manager picker.
#include "app/wiring.h"
#include "query/wiremain.h"

ARV_APP_WIRING(query, query::wireMainWindow);
