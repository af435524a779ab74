#include "download/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "core/engine_settings.h"
#include "core/notify.h"
#include "corvane_n.h"
#include "net/text_helpers.h"

namespace corvane {
namespace {

// Names in reports are cut so that a hostile article cannot make the report huge.
constexpr std::size_t kReportedNameLength = 200;
// Attempts at a temporary name that is not taken yet.
constexpr int kTemporaryNameAttempts = 100;

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

// A descriptor closed when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return fd_; }
    // Closes now; false when the close reports an error (a delayed write error, for example).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Creates a new, empty temporary file in the folder; never an existing file or a link.
int createTemporaryFile(int folder, std::string &name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        char text[64];
        std::snprintf(text, sizeof text, ".harbeat-%ld-%u.part", static_cast<long>(::getpid()), counter++);
        const int fd = ::openat(folder, text, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH);
        if (fd >= 0) {
            name = text;
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    errno = EEXIST;
    return -1;
}

// Writes the file as a temporary file in the folder and renames it over `name` only once it is
// complete and on disk: a link of that name is replaced, never followed, and a failed write
// (a full disk) leaves an older copy of the file as it was. True when the file was written.
bool writeFile(const std::string &folderPath, const std::string &name, std::string_view bytes) {
    const std::string path = folderPath + '/' + name;
    std::error_code ignored;  // a failure shows when the folder is opened
    std::filesystem::create_directories(folderPath, ignored);
    // The folder is the user's choice and may itself be reached through a link; inside it, the
    // file name is one component and is never followed.
    FileDescriptor folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) {
        reportProblem("Cannot create the file", path, systemMessage(errno));
        return false;
    }
    struct stat existing {};
    if (::fstatat(folder.get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(existing.st_mode)) {
        reportProblem("Cannot create the file", path, systemMessage(EISDIR));
        return false;
    }
    std::string temporaryName;
    FileDescriptor file(createTemporaryFile(folder.get(), temporaryName));
    if (file.get() < 0) {
        reportProblem("Cannot create the file", path, systemMessage(errno));
        return false;
    }
    int error = 0;
    if (!writeAll(file.get(), bytes) || ::fsync(file.get()) != 0)
        error = errno;
    else if (!file.close())
        error = errno;
    if (error == 0 && cancelRequested()) error = ECANCELED;
    if (error == 0 && ::renameat(folder.get(), temporaryName.c_str(), folder.get(), name.c_str()) != 0) {
        reportProblem("Cannot create the file", path, systemMessage(errno));
        ::unlinkat(folder.get(), temporaryName.c_str(), 0);
        return false;
    }
    if (error != 0) {
        ::unlinkat(folder.get(), temporaryName.c_str(), 0);
        // A cancelled download writes nothing and says so once, in its cancel report.
        if (error != ECANCELED) reportProblem("Cannot write the file", path, systemMessage(error));
        return false;
    }
    ::fsync(folder.get());  // the rename itself on disk; a failure here loses nothing written
    return true;
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
                              bool writeIncomplete, int *problemsReported) {
    std::string folderPath(folder);
    dropChar(folderPath, '"');
    std::string written;
    for (int i = nextDecodedFile(list, -1); i >= 0; i = nextDecodedFile(list, i)) {
        const DecodedFile &file = list.files[static_cast<std::size_t>(i)];
        // A fixed name is held to the same rule as a name from an article: one component, so that
        // it cannot point out of the folder.
        const std::string_view given = fixedName.empty() ? std::string_view(file.fileName) : fixedName;
        std::string name = safeFileName(given);
        if (name.empty()) {
            reportProblem("Skipped a file with the unusable name", given, {});
            if (problemsReported) ++*problemsReported;
            continue;
        }
        dropChar(name, '"');
        if (!file.complete && !writeIncomplete) continue;
        if (writeFile(folderPath, name, file.content()))
            written = folderPath + '/' + name;
        else if (problemsReported)
            ++*problemsReported;
    }
    return written;
}

}  // namespace corvane
