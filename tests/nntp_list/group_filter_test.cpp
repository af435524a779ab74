// The filter over the listed names.
#include <gtest/gtest.h>

#include "nntp/newsgroup_list.h"

using namespace corvane;

namespace {

struct FilterCase {
    const char *name;
    const char *list;
    const char *filter;
    const char *names;
};

class GroupFilter : public ::testing::TestWithParam<FilterCase> {};

const FilterCase kFilterCases[] = {
    {"Prefix", "alt.binaries.sounds.mp3 100 1 y\r\nalt.sounds 5 1 y\r\n", "alt.binaries",
     "alt.binaries.sounds.mp3\r\n"},
    {"Middle", "de.alt.binaries.mp3 9 1 y\r\ncomp.lang.c 3 1 y\r\n", "alt.binaries", "de.alt.binaries.mp3\r\n"},
    {"NoMatch", "comp.lang.c 3 1 y\r\nalt.sounds 5 1 y\r\n", "alt.binaries", " "},
    {"CaseSensitive", "ALT.BINARIES.MP3 1 1 y\r\nAlt.Binaries.x 1 1 y\r\n", "alt.binaries", " "},
    {"EmptyList", ".\r\n", "alt.binaries", " "},
    {"EmptyFilterKeepsAll", "a.b 1 1 y\r\nc.d 1 1 n\r\n", "", "a.b\r\nc.d\r\n"},
    {"OrderAsListed", "alt.binaries.z 1 1 y\r\nalt.binaries.a 1 1 y\r\nalt.binaries.m 1 1 y\r\n", "alt.binaries",
     "alt.binaries.z\r\nalt.binaries.a\r\nalt.binaries.m\r\n"},
    // The filter is matched against the name only, never against the other fields of the line.
    {"FieldsAreNotSearched", "comp.misc 1 1 alt.binaries\r\n", "alt.binaries", " "},
    // A line of a name alone stays one name; it is not joined to the next line.
    {"LineWithoutFields", "alt.binaries.solo\r\nalt.binaries.next 1 1 y\r\n", "alt.binaries",
     "alt.binaries.solo\r\nalt.binaries.next\r\n"},
    // newgroups answers in the same form.
    {"NewGroupsLines", "alt.binaries.sounds.mp3.new 0 1 y\r\n", "alt.binaries", "alt.binaries.sounds.mp3.new\r\n"},
};

TEST_P(GroupFilter, KeepsNamesContainingTheFilter) {
    EXPECT_EQ(filterGroupNames(GetParam().list, GetParam().filter), GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(Lists, GroupFilter, ::testing::ValuesIn(kFilterCases),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
