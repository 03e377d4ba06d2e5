#include "install/file_time.h"

namespace korv {

namespace {

constexpr std::uint64_t kTicksPerMs = 10000;
constexpr std::uint64_t kTicksPerSecond = 1000 * kTicksPerMs;
constexpr std::uint64_t kTicksPerDay = 86400 * kTicksPerSecond;

bool IsLeapYear(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DaysInMonth(unsigned year, unsigned month) {
  static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1 January 1601 to the given date (proleptic Gregorian, as
// Windows counts).
std::uint64_t DaysSince1601(unsigned year, unsigned month, unsigned day) {
  const std::uint64_t y = year - 1601;
  std::uint64_t days = y * 365 + y / 4 - y / 100 + y / 400;
  for (unsigned m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days + (day - 1);
}

}  // namespace

bool SystemTimeToFileTime(const SystemTime& t, std::uint64_t* fileTime) {
  if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
      t.wDay > DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 ||
      t.wMilliseconds > 999) {
    return false;
  }
  *fileTime = DaysSince1601(t.wYear, t.wMonth, t.wDay) * kTicksPerDay +
              (static_cast<std::uint64_t>(t.wHour) * 3600 + t.wMinute * 60u + t.wSecond) * kTicksPerSecond +
              t.wMilliseconds * kTicksPerMs;
  return true;
}

}  // namespace korv
