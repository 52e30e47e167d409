#pragma once
// Local time as UTC for a scope, for tests of local-time conversions. A Linux process
// changes its zone with TZ at any time; a Windows program keeps the zone it started
// with, so the Windows suite starts with TZ=UTC0 and a scope there only checks that.

namespace testsupport {

class UtcTimeZone {
public:
    UtcTimeZone();
    ~UtcTimeZone();
    UtcTimeZone(const UtcTimeZone&) = delete;
    UtcTimeZone& operator=(const UtcTimeZone&) = delete;
};

}  // namespace testsupport
