#include "platform/files.h"
#include "platform/win32/win32_detail.h"

namespace platform {

namespace {

int daysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

// SystemTimeToFileTime refuses fields out of range on Windows, but Wine takes a 29
// February of any year, so the date is checked here first. LocalFileTimeToFileTime
// applies the time zone's current bias, whatever the date (Linux's mktime applies the
// bias of that date, summer time included).
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
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return false;
    FILETIME localTime;
    FILETIME utc;
    if (!SystemTimeToFileTime(&local, &localTime) || !LocalFileTimeToFileTime(&localTime, &utc))
        return false;
    out = (FileTime(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
    return true;
}

}  // namespace platform
