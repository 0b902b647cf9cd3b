#include "platform/adsi/adsschema.h"
