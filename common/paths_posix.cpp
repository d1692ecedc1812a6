#include "common/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/strings.h"

#ifndef VYR_INSTALL_PREFIX
#define VYR_INSTALL_PREFIX "/usr/local"
#endif

namespace vyr {

const char kPathSeparator = '/';

bool isPathSeparator(char c) { return c == '/'; }

bool fileExists(const char* path) {
    struct stat st;
    return path && stat(path, &st) == 0;
}

namespace {

bool isDirectory(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool holdsData(const char* prefix) {
    char data[PATH_MAX];
    if (snprintf(data, sizeof data, "%s/share/vyr", prefix) >= int(sizeof data)) return false;
    return isDirectory(data);
}

// The directory above the bin/ that holds the running program, when that is an installation.
bool runningPrefix(char* prefix, size_t size) {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return false;
    exe[n] = '\0';
    char* slash = strrchr(exe, '/');
    if (!slash) return false;
    *slash = '\0';
    slash = strrchr(exe, '/');
    if (!slash || strcmp(slash + 1, "bin") != 0) return false;
    *slash = '\0';
    if (!exe[0]) strcpy(exe, "/");
    if (!holdsData(exe) || strlen(exe) >= size) return false;
    strcpy(prefix, exe);
    return true;
}

}  // namespace

void installDirectory(char* buffer, size_t size) {
    if (!buffer || size == 0) return;
    buffer[0] = '\0';
    const char* root = getenv("VYR_ROOT");
    if (root && strlen(root) < size) strcpy(buffer, root);
    if (!buffer[0] && !runningPrefix(buffer, size)) {
        const char* prefix = holdsData(VYR_INSTALL_PREFIX) ? VYR_INSTALL_PREFIX : "/opt/tarsel/vyr/";
        snprintf(buffer, size, "%s", prefix);
    }
    size_t length = strlen(buffer);
    if (length > 0 && buffer[length - 1] != '/' && length + 1 < size) {
        buffer[length] = '/';
        buffer[length + 1] = '\0';
    }
}

const char* homeDirectory() {
    static char home[1024];
    const char* value = getenv("HOME");
    snprintf(home, sizeof home, "%s", value && value[0] ? value : "/");
    return home;
}

char* userDataDirectory() {
    // A relative XDG_DATA_HOME is invalid and ignored, as the base-directory rules say.
    const char* data = getenv("XDG_DATA_HOME");
    char* directory = data && data[0] == '/' ? copyText(data) : joinPath(homeDirectory(), ".local", "share", nullptr);
    if (directory) {
        size_t length = strlen(directory);
        while (length > 1 && directory[length - 1] == '/') directory[--length] = '\0';
    }
    return directory;
}

}  // namespace vyr
