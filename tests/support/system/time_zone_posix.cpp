#include <stdlib.h>
#include <time.h>

#include <string>

#include "support/system/time_zone.h"

namespace testsupport {

namespace {

std::string savedZone;
bool hadZone = false;

}  // namespace

UtcTimeZone::UtcTimeZone() {
    const char* old = ::getenv("TZ");
    hadZone = old != nullptr;
    savedZone = old ? old : "";
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
}

UtcTimeZone::~UtcTimeZone() {
    if (hadZone)
        ::setenv("TZ", savedZone.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

}  // namespace testsupport
