#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace corvane::platform {

AtomicFileError::AtomicFileError(std::error_code code, const std::string& path, const char* step)
    : std::system_error(code, "cannot write " + path + " (" + step + ")"), path_(path) {}

namespace {

[[noreturn]] void Fail(int err, const std::string& path, const char* step) {
    throw AtomicFileError(std::error_code(err, std::generic_category()), path, step);
}

// A name no other writer picks: process id, a per-process counter and a
// random part drawn once.
std::string TemporaryName(const std::string& folderPrefix, const std::string& base) {
    static const unsigned long long salt = [] {
        std::random_device rd;
        return (static_cast<unsigned long long>(rd()) << 32) ^ rd();
    }();
    static std::atomic<unsigned long long> counter{0};
    char tail[64];
    std::snprintf(tail, sizeof tail, ".tmp-%ld-%llx-%llx", static_cast<long>(::getpid()),
                  salt & 0xFFFFFFFFull, counter.fetch_add(1) + 1);
    return folderPrefix + "." + base + tail;
}

}  // namespace

void ReplaceFileAtomically(const std::string& path, std::string_view contents) {
    if (path.empty()) {
        Fail(ENOENT, path, "naming the file");
    }
    // Write through a symbolic link to the file it names.
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const std::size_t slash = target.rfind('/');
    const std::string folderPrefix =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty()) {
        Fail(EISDIR, path, "naming the file");
    }
    const std::string folder = folderPrefix.empty() ? std::string(".") : folderPrefix;

    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        Fail(EISDIR, path, "naming the file");
    }

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = TemporaryName(folderPrefix, base);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST) {
            Fail(errno, path, "creating a temporary file");
        }
    }
    if (fd < 0) {
        Fail(EEXIST, path, "creating a temporary file");
    }
    auto abandon = [&](int err, const char* step) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(temp.c_str());
        Fail(err, path, step);
    };

    if (exists) {
        // Best effort: a file we cannot give the old mode still gets saved.
        (void)::fchmod(fd, st.st_mode & 07777);
    }
    const char* p = contents.data();
    std::size_t left = contents.size();
    while (left > 0) {
        const std::size_t chunk = left < (std::size_t{1} << 30) ? left : (std::size_t{1} << 30);
        const ssize_t put = ::write(fd, p, chunk);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            abandon(errno, "writing");
        }
        if (put == 0) {
            abandon(ENOSPC, "writing");
        }
        p += put;
        left -= static_cast<std::size_t>(put);
    }
    if (::fsync(fd) != 0) {
        abandon(errno, "flushing to disk");
    }
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) {
        abandon(errno, "closing");
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        abandon(errno, "replacing the file");
    }
    // Make the rename itself durable. The new file is in place by now, so a
    // folder that cannot be flushed is not reported as a failed save.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
}

}  // namespace corvane::platform
