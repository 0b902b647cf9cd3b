#include "platform/adsi/adspath.h"
