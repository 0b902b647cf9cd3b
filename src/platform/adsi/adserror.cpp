#include "platform/adsi/adserror.h"
