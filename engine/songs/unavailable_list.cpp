#include "songs/unavailable_list.h"

namespace corvane {
namespace {

void appendEntry(std::string &list, std::string_view entry) {
    if (list.size() + entry.size() + 2 > kUnavailableListCapacity) return;
    list.append(entry);
    list += "\r\n";
}

}  // namespace

void addUnavailableCategory(std::string &list, std::string_view category) {
    if (list.find(category) == std::string::npos) appendEntry(list, category);
}

void addUnavailableNewsgroup(std::string &list, std::string_view newsgroup) { appendEntry(list, newsgroup); }

}  // namespace corvane
