// The UnavailableList of a song search: the categories and newsgroups that did not answer in
// time, each followed by CR LF, sent with 9008 at the end of the search.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// The list holds at most this many characters; an entry that would not fit whole is left out.
inline constexpr std::size_t kUnavailableListCapacity = 2047;

// A "group" time-out: adds the category unless the list already contains it anywhere (a plain
// substring test, so "rock" is not added beside "hard rock").
void addUnavailableCategory(std::string &list, std::string_view category);

// A time-out while the group's overview was read: adds the newsgroup name, also when repeated.
void addUnavailableNewsgroup(std::string &list, std::string_view newsgroup);

}  // namespace corvane
