// Texts of a point in time given as FILETIME ticks (100 ns since 1601, UTC),
// the form the registry stores times in.
#pragma once

#include <cstdint>
#include <string>

// The user's short date and time, in local time: "12/7/2026 10:42:05 AM".
// Empty when the time cannot be converted.
std::string LocalDateTimeText(uint64_t utcTicks);

// ISO 8601 in UTC to the second: "2026-12-07T10:42:05Z". Empty when the time
// cannot be converted.
std::string IsoUtcText(uint64_t utcTicks);
