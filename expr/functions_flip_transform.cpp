#include "expr/functions_flip_transform.h"

#include "expr/functions_common.h"

void InstallFlipTransformFunctions() {}
