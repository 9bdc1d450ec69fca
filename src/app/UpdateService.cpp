#include "UpdateService.h"

// Only the generated meta-object code lives here.
