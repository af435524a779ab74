// The shared library as the program loads it: by name, from the program's folder, offering the
// seven exports plus mp3SetOption and mp3OpenNzb, and nothing else of the engine.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include "corvane_n.h"

namespace {

const std::set<std::string> kExports = {"mp3Settings", "mp3CancelFunc", "mp3GetNewsgroups",
                                        "mp3GetSongs", "mp3BuildSongs", "mp3PostAritcle",
                                        "httpOpenURL", "mp3SetOption",  "mp3OpenNzb"};

// The library is built into the folder of the test programs.
std::filesystem::path libraryPath() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "libcorvane_n.so";
}

// The names that `nm -D --defined-only` lists for the file (the last word of each line); nothing
// when nm cannot be run.
std::optional<std::set<std::string>> definedDynamicSymbols(const std::filesystem::path &file) {
    const std::string command = "nm -D --defined-only '" + file.string() + "' 2>/dev/null";
    FILE *output = popen(command.c_str(), "r");
    if (!output) return std::nullopt;
    std::string listing;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, output)) listing.append(buffer, n);
    if (pclose(output) != 0) return std::nullopt;
    std::set<std::string> names;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);)
        if (const std::size_t blank = line.rfind(' '); blank != std::string::npos) names.insert(line.substr(blank + 1));
    return names;
}

class LoadedLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        handle_ = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
    }
    void TearDown() override {
        if (handle_) dlclose(handle_);
    }
    void *handle_ = nullptr;
};

TEST_F(LoadedLibrary, EveryExportResolves) {
    for (const std::string &name : kExports) EXPECT_NE(dlsym(handle_, name.c_str()), nullptr) << name;
}

TEST_F(LoadedLibrary, ExportsWorkThroughTheLoadedLibrary) {
    using OpenUrl = const char *(*)(const char *);
    const auto openUrl = reinterpret_cast<OpenUrl>(dlsym(handle_, "httpOpenURL"));
    ASSERT_NE(openUrl, nullptr);
    EXPECT_STREQ(openUrl(std::string(600, 'h').c_str()), "Address too long.");
}

TEST(LibraryFile, DefinesOnlyTheExports) {
    const auto defined = definedDynamicSymbols(libraryPath());
    if (!defined) GTEST_SKIP() << "nm (binutils) could not list " << libraryPath();
    EXPECT_EQ(*defined, kExports);
}

}  // namespace
