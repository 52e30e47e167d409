#include <gtest/gtest.h>
#include <windows.h>

#include "support/system/time_zone.h"

namespace testsupport {

UtcTimeZone::UtcTimeZone() {
    TIME_ZONE_INFORMATION zone{};
    const DWORD kind = GetTimeZoneInformation(&zone);
    EXPECT_TRUE(zone.Bias == 0 && (kind == TIME_ZONE_ID_UNKNOWN || zone.DaylightBias == 0))
        << "the Windows suite runs with TZ=UTC0 (bias " << zone.Bias << ")";
}

UtcTimeZone::~UtcTimeZone() = default;

}  // namespace testsupport
