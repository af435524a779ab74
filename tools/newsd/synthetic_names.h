// Word tables for generated song posts and group names. Invented names: any likeness to a real
// artist is chance.
#pragma once

#include <cstddef>
#include <string_view>

namespace harbeat::newsd::names {

extern const std::string_view kArtists[64];
extern const std::string_view kTitles[64];
extern const std::string_view kVersions[8];
extern const std::string_view kPosters[16];
extern const std::string_view kPosterDomains[8];
// Group names: hierarchy, then topic, then a word.
extern const std::string_view kGroupHierarchies[8];
extern const std::string_view kGroupTopics[16];
extern const std::string_view kGroupWords[32];

}  // namespace harbeat::newsd::names
