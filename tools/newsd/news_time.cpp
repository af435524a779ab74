#include "news_time.h"

#include <charconv>
#include <ctime>

#include "article_text.h"

namespace harbeat::newsd {

namespace {

constexpr const char *kDayNames[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
constexpr const char *kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

void appendTwoDigits(std::string &out, unsigned value) {
    out += char('0' + value / 10 % 10);
    out += char('0' + value % 10);
}

bool isLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned daysInMonth(std::int64_t year, unsigned month) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

std::optional<unsigned> digitsValue(std::string_view text) {
    unsigned value = 0;
    if (text.empty()) return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + unsigned(c - '0');
    }
    return value;
}

struct CivilTime {
    std::int64_t year;
    unsigned month, day, hour, minute, second;
};

bool isRealTime(const CivilTime &t) {
    return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= daysInMonth(t.year, t.month) && t.hour <= 23 &&
           t.minute <= 59 && t.second <= 60;
}

std::int64_t utcSeconds(const CivilTime &t) {
    return daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

std::int64_t localSeconds(const CivilTime &t) {
    std::tm parts{};
    parts.tm_year = int(t.year - 1900);
    parts.tm_mon = int(t.month) - 1;
    parts.tm_mday = int(t.day);
    parts.tm_hour = int(t.hour);
    parts.tm_min = int(t.minute);
    parts.tm_sec = int(t.second);
    parts.tm_isdst = -1;
    return std::int64_t(std::mktime(&parts));
}

}  // namespace

std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = floorDiv(year, 400);
    const unsigned yearOfEra = unsigned(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + std::int64_t(dayOfEra) - 719468;
}

void civilFromDays(std::int64_t days, std::int64_t &year, unsigned &month, unsigned &day) {
    days += 719468;
    const std::int64_t era = floorDiv(days, 146097);
    const unsigned dayOfEra = unsigned(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    year = std::int64_t(yearOfEra) + era * 400 + (month <= 2);
}

void appendArticleDate(std::string &out, std::int64_t unixTime) {
    const std::int64_t days = floorDiv(unixTime, 86400);
    const unsigned secondOfDay = unsigned(unixTime - days * 86400);
    std::int64_t year;
    unsigned month, day;
    civilFromDays(days, year, month, day);
    out += kDayNames[((days % 7) + 7) % 7];
    out += ", ";
    appendTwoDigits(out, day);
    out += ' ';
    out += kMonthNames[month - 1];
    out += ' ';
    if (year >= 0) {
        appendNumber(out, static_cast<unsigned long long>(year));
    } else {
        out += std::to_string(year);
    }
    out += ' ';
    appendTwoDigits(out, secondOfDay / 3600);
    out += ':';
    appendTwoDigits(out, secondOfDay / 60 % 60);
    out += ':';
    appendTwoDigits(out, secondOfDay % 60);
    out += " +0000";
}

std::string formatDateReply(std::int64_t unixTime) {
    const std::int64_t days = floorDiv(unixTime, 86400);
    const unsigned secondOfDay = unsigned(unixTime - days * 86400);
    std::int64_t year;
    unsigned month, day;
    civilFromDays(days, year, month, day);
    std::string text = std::to_string(year);
    appendTwoDigits(text, month);
    appendTwoDigits(text, day);
    appendTwoDigits(text, secondOfDay / 3600);
    appendTwoDigits(text, secondOfDay / 60 % 60);
    appendTwoDigits(text, secondOfDay % 60);
    return text;
}

std::optional<std::int64_t> parseNewgroupsTime(std::string_view date, std::string_view time, bool gmt,
                                               std::int64_t now) {
    if ((date.size() != 6 && date.size() != 8) || time.size() != 6) return std::nullopt;
    const auto dateValue = digitsValue(date);
    const auto timeValue = digitsValue(time);
    if (!dateValue || !timeValue) return std::nullopt;
    CivilTime t{};
    t.year = std::int64_t(*dateValue / 10000);
    t.month = *dateValue / 100 % 100;
    t.day = *dateValue % 100;
    t.hour = *timeValue / 10000;
    t.minute = *timeValue / 100 % 100;
    t.second = *timeValue % 100;
    if (date.size() == 6) {
        std::int64_t currentYear;
        unsigned month, day;
        civilFromDays(floorDiv(now, 86400), currentYear, month, day);
        const std::int64_t century = currentYear - currentYear % 100;
        t.year += t.year <= currentYear % 100 ? century : century - 100;
    }
    if (!isRealTime(t)) return std::nullopt;
    return gmt ? utcSeconds(t) : localSeconds(t);
}

std::optional<std::int64_t> parseSpoolTime(std::string_view text) {
    if (text.find('-', 1) == std::string_view::npos) {
        std::int64_t seconds = 0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), seconds);
        if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
        return seconds;
    }
    if (text.ends_with('Z')) text.remove_suffix(1);
    if (text.size() != 10 && text.size() != 19) return std::nullopt;
    if (text[4] != '-' || text[7] != '-') return std::nullopt;
    const auto year = digitsValue(text.substr(0, 4));
    const auto month = digitsValue(text.substr(5, 2));
    const auto day = digitsValue(text.substr(8, 2));
    if (!year || !month || !day) return std::nullopt;
    CivilTime t{std::int64_t(*year), *month, *day, 0, 0, 0};
    if (text.size() == 19) {
        if (text[10] != 'T' || text[13] != ':' || text[16] != ':') return std::nullopt;
        const auto hour = digitsValue(text.substr(11, 2));
        const auto minute = digitsValue(text.substr(14, 2));
        const auto second = digitsValue(text.substr(17, 2));
        if (!hour || !minute || !second) return std::nullopt;
        t.hour = *hour;
        t.minute = *minute;
        t.second = *second;
    }
    if (!isRealTime(t)) return std::nullopt;
    return utcSeconds(t);
}

}  // namespace harbeat::newsd
