#include "platform/adsi/adsobject.h"
