#include "core/unSearch.h"
