// The shared library as the program loads it: by name, from the program's folder, offering the
// seven exports and nothing else of the engine.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "corvane_n.h"
#include "elf_dynamic_symbols.h"

namespace {

const std::set<std::string> kExports = {"mp3Settings",   "mp3CancelFunc",  "mp3GetNewsgroups", "mp3GetSongs",
                                        "mp3BuildSongs", "mp3PostAritcle", "httpOpenURL"};

// The library is built into the folder of the test programs.
std::filesystem::path libraryPath() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "libcorvane_n.so";
}

class SharedLibrary : public ::testing::Test {
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

TEST_F(SharedLibrary, EveryExportResolves) {
    for (const std::string &name : kExports) EXPECT_NE(dlsym(handle_, name.c_str()), nullptr) << name;
}

TEST_F(SharedLibrary, ExportsWorkThroughTheLoadedLibrary) {
    using OpenUrl = const char *(*)(const char *);
    const auto openUrl = reinterpret_cast<OpenUrl>(dlsym(handle_, "httpOpenURL"));
    ASSERT_NE(openUrl, nullptr);
    EXPECT_STREQ(openUrl(std::string(600, 'h').c_str()), "Address too long.");
}

TEST(SharedLibraryFile, DefinesOnlyTheSevenExports) {
    const auto defined = harbeat::test::definedDynamicSymbols(libraryPath());
    ASSERT_TRUE(defined.has_value()) << libraryPath();
    EXPECT_EQ(*defined, kExports);
}

}  // namespace
