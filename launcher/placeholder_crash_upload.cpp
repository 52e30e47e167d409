// Stands in for crash mode until it lands.

#include <cstdio>

#include "launcher/entry_points.h"

void runCrashUpload(const std::vector<std::string>& /*tokens*/) {
    std::fputs("launcher: crash mode is not built yet\n", stderr);
}
