#include "platform/files.h"
#include "platform/win32/win32_detail.h"

namespace platform {

// SystemTimeToFileTime refuses fields out of range; LocalFileTimeToFileTime applies the
// time zone's current bias, whatever the date (Linux's mktime applies the bias of that
// date, summer time included).
bool localTimeToFileTime(int year, int month, int day, int hour, int minute, int second,
                         FileTime& out) {
    if (year < 1601 || year > 30827) return false;
    SYSTEMTIME local{};
    local.wYear = WORD(year);
    local.wMonth = WORD(month);
    local.wDay = WORD(day);
    local.wHour = WORD(hour);
    local.wMinute = WORD(minute);
    local.wSecond = WORD(second);
    if (month < 1 || day < 1 || hour < 0 || minute < 0 || second < 0) return false;
    FILETIME localTime;
    FILETIME utc;
    if (!SystemTimeToFileTime(&local, &localTime) || !LocalFileTimeToFileTime(&localTime, &utc))
        return false;
    out = (FileTime(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
    return true;
}

}  // namespace platform
