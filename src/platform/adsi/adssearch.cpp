#include "platform/adsi/adssearch.h"
