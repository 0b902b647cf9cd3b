#include "platform/adsi/adsconnection.h"
