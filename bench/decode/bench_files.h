// Files and payloads of the decode benchmarks.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace bench {

// `size` pseudo-random bytes, the same for the same size.
std::string makePayload(std::size_t size);

std::string readWholeFile(const std::filesystem::path &path);
void writeWholeFile(const std::filesystem::path &path, std::string_view bytes);

// LF line ends to CR LF, as an article travels.
std::string toCrLf(const std::string &text);

// The fastest of `runs` timed runs, in seconds.
double bestSeconds(const std::function<void()> &run, int runs);

// Runs a shell command; exits the benchmark with a message when it fails.
void runOrDie(const std::string &command);

// A fresh folder under the system's temporary folder, removed with the object.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace bench
