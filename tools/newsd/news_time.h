// Calendar arithmetic and the date formats of the news server: article Date headers, the DATE
// reply, NEWGROUPS arguments and the creation dates of the spool's groups file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace harbeat::newsd {

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day);
void civilFromDays(std::int64_t days, std::int64_t &year, unsigned &month, unsigned &day);

// Appends "Fri, 01 Mar 2024 00:00:00 +0000" (UTC, English names).
void appendArticleDate(std::string &out, std::int64_t unixTime);
// "yyyymmddhhmmss" in UTC, as the DATE command answers.
std::string formatDateReply(std::int64_t unixTime);
// The time meant by NEWGROUPS' "yymmdd hhmmss" or "yyyymmdd hhmmss" arguments, in UTC when gmt
// is set and in the server's local time otherwise. A two-digit year lies in the current
// century unless it is above the current year's last two digits (then in the previous one).
// Nothing when the text is malformed or names no real date or time.
std::optional<std::int64_t> parseNewgroupsTime(std::string_view date, std::string_view time, bool gmt,
                                               std::int64_t now);
// "YYYY-MM-DD", "YYYY-MM-DDTHH:MM:SS" with an optional "Z" (UTC), or Unix seconds.
std::optional<std::int64_t> parseSpoolTime(std::string_view text);

}  // namespace harbeat::newsd
