#include <ctime>

#include "platform/files.h"

namespace platform {

bool localTimeToFileTime(int year, int month, int day, int hour, int minute, int second,
                         FileTime& out) {
    // FILETIME starts in 1601; SystemTimeToFileTime refuses out-of-range fields
    // instead of normalising them as mktime would.
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int monthDays = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day > monthDays) return false;

    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;  // let the time zone rules decide whether summer time applies
    std::time_t t = std::mktime(&tm);
    // -1 is also one second before 1970 in UTC; no caller's time lies there.
    if (t == static_cast<std::time_t>(-1)) return false;
    int64_t ticks = static_cast<int64_t>(t) * 10000000;
    if (ticks < -static_cast<int64_t>(kFileTimeUnixEpoch)) return false;
    out = static_cast<FileTime>(static_cast<int64_t>(kFileTimeUnixEpoch) + ticks);
    return true;
}

}  // namespace platform
