#include "expr/functions_date.h"

#include "expr/functions_common.h"

void InstallDateFunctions() {}
