#include "common/ini_file_os.h"

#include <sys/stat.h>

namespace vyr::os {

FILE* openRegularFile(const char* name) {
    FILE* file = fopen(name, "r");
    if (!file) return nullptr;
    // Device names such as NUL or CON open like files.
    struct _stat st;
    if (_fstat(_fileno(file), &st) != 0 || !(st.st_mode & _S_IFREG)) {
        fclose(file);
        return nullptr;
    }
    return file;
}

}  // namespace vyr::os
