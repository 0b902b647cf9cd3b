#include "platform/adsi/adsvalue.h"
