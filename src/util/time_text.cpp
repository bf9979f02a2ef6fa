#include "util/time_text.h"

#include <windows.h>

#include <cstdio>

namespace {

bool ToSystemTime(uint64_t ticks, SYSTEMTIME& time) {
  FILETIME file;
  file.dwLowDateTime = static_cast<DWORD>(ticks);
  file.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return FileTimeToSystemTime(&file, &time) != 0;
}

}  // namespace

std::string LocalDateTimeText(uint64_t utcTicks) {
  SYSTEMTIME utc, local;
  if (!ToSystemTime(utcTicks, utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
    return std::string();
  char date[128], time[128];
  if (!GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, sizeof date) ||
      !GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &local, nullptr, time, sizeof time))
    return std::string();
  return std::string(date) + ' ' + time;
}

std::string IsoUtcText(uint64_t utcTicks) {
  SYSTEMTIME utc;
  if (!ToSystemTime(utcTicks, utc)) return std::string();
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", utc.wYear, utc.wMonth,
                utc.wDay, utc.wHour, utc.wMinute, utc.wSecond);
  return text;
}
