// RFC 3977 wildmats: comma-separated patterns with "*" and "?", each optionally negated by a
// leading "!"; the last pattern that matches decides.
#pragma once

#include <string_view>

namespace harbeat::newsd {

bool matchesWildmat(std::string_view wildmat, std::string_view text);

}  // namespace harbeat::newsd
