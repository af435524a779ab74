// The harbeat-newsd program: options, port file, serving, and a clean stop on SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "raw_client.h"

extern char **environ;

namespace harbeat::newsd::test {
namespace {

using namespace std::chrono_literals;

pid_t startProgram(std::vector<std::string> arguments, const std::string &output) {
    arguments.insert(arguments.begin(), HARBEAT_NEWSD_PROGRAM);
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int exitStatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readFile(const std::filesystem::path &path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(Program, ServesUntilSigterm) {
    const auto folder = std::filesystem::temp_directory_path() / ("newsd-program-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const auto portFile = folder / "port";
    const pid_t pid = startProgram(
        {"--port", "0", "--port-file", portFile.string(), "--synthetic-group", "alt.binaries.sounds.mp3.big:100:11",
         "--group", "alt.requests", "--user", "jane", "--password", "pw", "--drop-articles", "12,<nothing@x>"},
        (folder / "out").string());
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 500 && !std::filesystem::exists(portFile); ++i) std::this_thread::sleep_for(20ms);
    const int port = std::atoi(readFile(portFile).c_str());
    ASSERT_GT(port, 0);
    {
        RawClient client{static_cast<std::uint16_t>(port)};
        EXPECT_EQ(client.greeting().substr(0, 3), "200");
        EXPECT_EQ(client.command("GROUP alt.requests").substr(0, 3), "480");
        client.command("AUTHINFO USER jane");
        EXPECT_EQ(client.command("AUTHINFO PASS pw").substr(0, 3), "281");
        EXPECT_EQ(client.command("GROUP alt.binaries.sounds.mp3.big"),
                  "211 100 11 110 alt.binaries.sounds.mp3.big\r\n");
        EXPECT_EQ(client.command("STAT 12").substr(0, 3), "430");
        EXPECT_EQ(client.command("STAT 13").substr(0, 3), "223");
        kill(pid, SIGTERM);
        EXPECT_TRUE(client.closedWithin(5000ms));
    }
    EXPECT_EQ(exitStatus(pid), 0);
    EXPECT_EQ(readFile(folder / "out"), "listening on 127.0.0.1:" + std::to_string(port) + "\n");
    std::filesystem::remove_all(folder);
}

TEST(Program, HelpAndBadOptions) {
    const auto output = std::filesystem::temp_directory_path() / ("newsd-help-" + std::to_string(getpid()));
    EXPECT_EQ(exitStatus(startProgram({"--help"}, output.string())), 0);
    EXPECT_NE(readFile(output).find("--synthetic-group NAME:COUNT"), std::string::npos);
    for (const std::vector<std::string> &bad : std::vector<std::vector<std::string>>{{"--frob"},
                                                                                     {"--port"},
                                                                                     {"--port", "x"},
                                                                                     {"--synthetic-group", "name"},
                                                                                     {"--empty-overview", "200"},
                                                                                     {"--tls-cert", "cert.pem"},
                                                                                     {"--tls-key", "key.pem"},
                                                                                     {"--drop-articles", ""},
                                                                                     {"--drop-articles", "0"},
                                                                                     {"--drop-articles", "3,,4"},
                                                                                     {"--drop-articles", "<>"}}) {
        EXPECT_EQ(exitStatus(startProgram(bad, output.string())), 2) << bad[0];
    }
    EXPECT_EQ(exitStatus(startProgram({"--spool", "/nonexistent/spool"}, output.string())), 1);
    EXPECT_EQ(exitStatus(startProgram({"--tls-cert", "/nonexistent/cert.pem", "--tls-key", "/nonexistent/key.pem"},
                                      output.string())),
              1);
    std::filesystem::remove(output);
}

}  // namespace
}  // namespace harbeat::newsd::test
