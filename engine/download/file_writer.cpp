#include "download/file_writer.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "core/notify.h"
#include "corvane_n.h"
#include "net/text_helpers.h"

namespace corvane {
namespace {

// The path built last: reported with 9006 after every song, also one that wrote nothing.
std::mutex lastPathMutex;
std::string lastPath;

// Names in reports are cut so that a hostile article cannot make the report huge.
constexpr std::size_t kReportedNameLength = 200;

std::string printableName(std::string_view name) {
    std::string out;
    for (char c : name.substr(0, kReportedNameLength)) {
        const auto u = static_cast<unsigned char>(c);
        out += u < 0x20 || u == 0x7F ? '?' : c;
    }
    return out;
}

std::string systemMessage(int error) { return std::system_category().message(error); }

void reportProblem(std::string_view what, std::string_view name, std::string_view detail) {
    std::string message(what);
    message += " \"";
    message += printableName(name);
    message += "\"";
    if (!detail.empty()) {
        message += ": ";
        message += detail;
    }
    message += '.';
    notifyGui(kNotifyError, message);
}

// Creates the folder that will hold `path` when it does not exist yet.
void createParentFolder(const std::string &path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (parent.empty()) return;
    std::error_code ignored;  // a failure shows when the file is opened
    std::filesystem::create_directories(parent, ignored);
}

void writeFile(const std::string &path, const std::string &bytes) {
    createParentFolder(path);
    errno = 0;
    std::FILE *file = std::fopen(path.c_str(), "w+b");
    if (!file) {
        reportProblem("Cannot create the file", path, systemMessage(errno));
        return;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return;
    // A cut-off song is worse than none: the partial file goes.
    reportProblem("Cannot write the file", path, systemMessage(written ? errno : writeError));
    std::remove(path.c_str());
}

}  // namespace

std::string safeFileName(std::string_view articleName) {
    const std::size_t separator = articleName.find_last_of("/\\");
    if (separator != std::string_view::npos) articleName.remove_prefix(separator + 1);
    std::string name;
    for (char c : articleName) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F) name += c;
    }
    std::string withoutQuotes = name;
    dropChar(withoutQuotes, '"');
    if (withoutQuotes.empty() || withoutQuotes == "." || withoutQuotes == "..") return {};
    return name;
}

std::string writeDecodedFiles(std::string_view folder, std::string_view fixedName, const DecodedFileList &list,
                              bool writeIncomplete) {
    std::lock_guard lock(lastPathMutex);
    for (int i = nextDecodedFile(list, -1); i >= 0; i = nextDecodedFile(list, i)) {
        const DecodedFile &file = list.files[static_cast<std::size_t>(i)];
        std::string name(fixedName);
        if (name.empty()) {
            name = safeFileName(file.fileName);
            if (name.empty()) {
                reportProblem("Skipped a file with the unusable name", file.fileName, {});
                continue;
            }
        }
        std::string path(folder);
        path += '/';
        path += name;
        dropChar(path, '"');
        lastPath = path;
        if (file.complete || writeIncomplete) writeFile(path, file.bytes);
    }
    return lastPath;
}

}  // namespace corvane
