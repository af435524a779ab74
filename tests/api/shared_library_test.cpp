// The program loads libcorvane_n.so by name; it must work loaded that way.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "corvane_n.h"
#include "support/scripted_peer.h"
#include "support/test_environment.h"

using harbeat::test::ScriptedPeer;

namespace {

std::filesystem::path libraryPath() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "libcorvane_n.so";
}

}  // namespace

TEST(SharedLibrary, ServerCheckRunsThroughTheLoadedLibrary) {
    harbeat::test::TemporaryHome home;
    void *library = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    using Settings = decltype(&mp3Settings);
    auto settings = reinterpret_cast<Settings>(dlsym(library, "mp3Settings"));
    ASSERT_NE(settings, nullptr);
    ASSERT_NE(dlsym(library, "mp3CancelFunc"), nullptr);

    ScriptedPeer peer;
    peer.scriptServerCheck();
    peer.start();
    char error[256] = "";
    int32_t reachable = 0, posting = 0;
    EXPECT_EQ(settings(error, nullptr, "127.0.0.1", peer.port(), "", "", 0, &reachable, &posting, 500000), -1)
        << error;
    EXPECT_EQ(reachable, -1);
    EXPECT_EQ(posting, -1);
    ASSERT_TRUE(peer.waitClosed());
    EXPECT_TRUE(peer.failures().empty());

    const int32_t refused = settings(error, nullptr, "127.0.0.1", harbeat::test::unusedLoopbackPort(), "", "", 0,
                                     &reachable, &posting, 0);
    EXPECT_EQ(refused, 0);
    EXPECT_STREQ(error, "Connection refused.");
    dlclose(library);
    // A detached worker may still be running library code, so closing must not unload it.
    void *stillLoaded = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(stillLoaded, nullptr);
    if (stillLoaded) dlclose(stillLoaded);
}
