#include "common/ini_file_os.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vyr::os {

FILE* openRegularFile(const char* name) {
    // stat first so that no device is opened at all; then O_NONBLOCK, so that a FIFO
    // swapped in meanwhile cannot block, and fstat to check what was really opened.
    struct stat st;
    if (stat(name, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    FILE* file = fdopen(fd, "r");
    if (!file) close(fd);
    return file;
}

}  // namespace vyr::os
