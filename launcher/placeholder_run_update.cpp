// Stands in for update mode until it lands.

#include <cstdio>

#include "config/update_context.h"
#include "launcher/entry_points.h"

int runUpdate(bool /*cannotWrite*/) {
    std::fputs("launcher: update mode is not built yet\n", stderr);
    updateContext.handOver = 0;
    return 0;
}
