// Pairs with platform/files.h on Linux: O_CREAT | O_EXCL | O_NOFOLLOW under a
// random name, fsync before rename(2), then fsync of the folder.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace vyr::platform {

namespace {

constexpr int creationAttempts = 64;

// The folder that holds `path`, as open(2) takes it.
std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// `path`.<16 random hex digits>.tmp, so that no one can plant a file at the
// name in advance.
bool randomNameBeside(const char* path, std::string& name) {
    uint64_t random = 0;
    if (getrandom(&random, sizeof random, 0) != ssize_t(sizeof random)) return false;
    char suffix[32];
    snprintf(suffix, sizeof suffix, ".%016llx.tmp", static_cast<unsigned long long>(random));
    name = std::string(path) + suffix;
    return true;
}

// A new file that did not exist, open for writing; -1 with errno set.
// Permissions as the umask allows, as for any file the user creates.
int createExclusive(const char* path, std::string& name) {
    for (int attempt = 0; attempt < creationAttempts; ++attempt) {
        if (!randomNameBeside(path, name)) return -1;
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool writeAll(int fd, const std::string& contents) {
    const char* data = contents.data();
    size_t left = contents.size();
    while (left > 0) {
        ssize_t written = write(fd, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        left -= size_t(written);
    }
    return true;
}

// The rename is only durable once the folder's entry is on disk.
bool syncFolder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

}  // namespace

bool writeFileWhole(const char* path, const std::string& contents, std::string& why) {
    std::string temporary;
    int fd = createExclusive(path, temporary);
    if (fd < 0) {
        why = strerror(errno);
        return false;
    }
    bool written = writeAll(fd, contents) && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && written) written = false, error = errno;
    if (written && rename(temporary.c_str(), path) == 0) {
        if (syncFolder(folderOf(path))) return true;
        why = strerror(errno);
        return false;  // the new file is in place; only its durability is in doubt
    }
    if (written) error = errno;
    unlink(temporary.c_str());
    why = strerror(error);
    return false;
}

bool canCreateBeside(const char* path, std::string& why) {
    std::string probe;
    int fd = createExclusive(path, probe);
    if (fd < 0) {
        why = strerror(errno);
        return false;
    }
    close(fd);
    unlink(probe.c_str());
    return true;
}

}  // namespace vyr::platform
