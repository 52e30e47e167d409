#include "config/update_context.h"

UpdateContext updateContext;
