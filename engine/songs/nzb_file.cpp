#include "songs/nzb_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <memory>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/engine_settings.h"
#include "core/error_text.h"

namespace corvane {
namespace {

// Pieces of this size keep the memory of a read small and let a cancel stop it quickly.
constexpr unsigned kPieceBytes = 256 * 1024;

std::string systemText(int number) { return std::generic_category().message(number); }

struct GzCloser {
    void operator()(gzFile file) const { gzclose(file); }
};
using GzHandle = std::unique_ptr<gzFile_s, GzCloser>;

// The open file, checked to be a regular file of acceptable size; -1 with `error` set otherwise.
int openRegularFile(const std::string &path, uint64_t &size, std::string &error) {
    // Without O_NONBLOCK, opening a FIFO would wait until some program opens it for writing.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = "it cannot be opened (" + systemText(errno) + ")";
        return -1;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        error = "it cannot be read (" + systemText(errno) + ")";
    } else if (S_ISDIR(status.st_mode)) {
        error = "it is a folder";
    } else if (!S_ISREG(status.st_mode)) {
        error = "it is not a regular file";
    } else if (static_cast<uint64_t>(status.st_size) > kMaxNzbFileBytes) {
        error = "it is larger than 256 MB, more than any NZB file";
    } else {
        size = static_cast<uint64_t>(status.st_size);
        // Reads of a regular file never wait; blocking mode keeps the reads simple all the same.
        const int flags = fcntl(fd, F_GETFL);
        if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        return fd;
    }
    close(fd);
    return -1;
}

std::string gzipError(gzFile file) {
    int code = Z_OK;
    const char *text = gzerror(file, &code);
    if (code == Z_ERRNO) return "it cannot be read (" + systemText(errno) + ")";
    if (code == Z_MEM_ERROR) throw std::bad_alloc();
    // zlib puts the file's name ("<fd:3>") in front of its message.
    std::string_view message = text ? text : "";
    if (const std::size_t colon = message.rfind(": "); colon != std::string_view::npos)
        message.remove_prefix(colon + 2);
    return "it is a damaged gzip file (" + std::string(message) + ")";
}

}  // namespace

bool readNzbFile(const std::string &path, NzbList &list, std::string &error,
                 const std::function<void(double)> &progress) {
    uint64_t size = 0;
    const int fd = openRegularFile(path, size, error);
    if (fd < 0) return false;
    // zlib reads a file that is not gzip-compressed as it is, so .nzb and .nzb.gz take one path.
    GzHandle file(gzdopen(fd, "rb"));
    if (!file) {
        close(fd);
        throw std::bad_alloc();
    }
    gzbuffer(file.get(), kPieceBytes);

    NzbReader reader;
    std::vector<char> piece(kPieceBytes);
    uint64_t unpacked = 0;
    int shownPercent = -1;
    for (;;) {
        const int read = gzread(file.get(), piece.data(), kPieceBytes);
        if (read < 0) {
            error = gzipError(file.get());
            return false;
        }
        if (read == 0) {
            // A cut compressed file ends like a whole one, with the error kept aside.
            int code = Z_OK;
            gzerror(file.get(), &code);
            if (code != Z_OK) {
                error = gzipError(file.get());
                return false;
            }
            break;
        }
        unpacked += static_cast<uint64_t>(read);
        if (unpacked > kMaxNzbFileBytes) {
            error = "it unpacks to more than 256 MB, more than any NZB file";
            return false;
        }
        if (!reader.feed(std::string_view(piece.data(), static_cast<std::size_t>(read)))) {
            error = reader.error();
            return false;
        }
        if (cancelRequested()) {
            error = kCancelled;
            return false;
        }
        if (progress && size > 0) {
            const double share = static_cast<double>(gzoffset(file.get())) * 100.0 / static_cast<double>(size);
            const int percent = static_cast<int>(share);
            if (percent != shownPercent && percent <= 100) {
                shownPercent = percent;
                progress(percent);
            }
        }
    }
    if (!reader.finish()) {
        error = reader.error();
        return false;
    }
    list = std::move(reader.list());
    return true;
}

}  // namespace corvane
