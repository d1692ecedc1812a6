#include "common/paths.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/strings.h"

namespace vyr {

const char kPathSeparator = '\\';

bool isPathSeparator(char c) { return c == '\\' || c == '/'; }

bool fileExists(const char* path) { return path && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

namespace {

bool readInstallPath(HKEY key, char* buffer, size_t size) {
    DWORD type = 0;
    DWORD length = DWORD(size);
    LONG rc = RegQueryValueExA(key, "InstallPath", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &length);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ) {
        buffer[0] = '\0';
        return false;
    }
    buffer[size - 1] = '\0';  // the registry does not promise a terminator
    return buffer[0] != '\0';
}

}  // namespace

void installDirectory(char* buffer, size_t size) {
    if (!buffer || size == 0) return;
    size_t length = 0;
    if (getenv_s(&length, buffer, size, "VYR_ROOT") != 0) buffer[0] = '\0';
    if (!buffer[0]) {
        HKEY key;
        bool firstOpened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tarsel Software\\Tarsel Halvex", 0,
                                         KEY_READ | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS;
        bool found = false;
        if (firstOpened) {
            found = readInstallPath(key, buffer, size);
        } else if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tarsel Software\\Tarsel Halvex Vantro", 0,
                                 KEY_READ | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
            found = readInstallPath(key, buffer, size);
        }
        if (!found) {
            char folder[MAX_PATH] = "";
            SHGetFolderPathA(nullptr, firstOpened ? CSIDL_PROGRAM_FILES : CSIDL_PROGRAM_FILESX86, nullptr,
                             SHGFP_TYPE_DEFAULT, folder);
            snprintf(buffer, size, "%s\\Tarsel\\vyr\\", folder);
        }
    }
    length = strlen(buffer);
    if ((length == 0 || buffer[length - 1] != '\\') && length + 1 < size) {
        buffer[length] = '\\';
        buffer[length + 1] = '\0';
    }
}

const char* homeDirectory() {
    static char home[1024];
    const char* drive = getenv("HOMEDRIVE");
    const char* path = getenv("HOMEPATH");
    if (drive && path)
        snprintf(home, sizeof home, "%s%s", drive, path);
    else
        snprintf(home, sizeof home, "C:\\");
    return home;
}

char* userDataDirectory() {
    LPITEMIDLIST list = nullptr;
    char folder[MAX_PATH] = "";
    if (SHGetSpecialFolderLocation(nullptr, CSIDL_LOCAL_APPDATA, &list) == S_OK && list) {
        if (!SHGetPathFromIDListA(list, folder)) folder[0] = '\0';
        CoTaskMemFree(list);
    }
    if (folder[0]) return copyText(folder);
    return joinPath(homeDirectory(), ".local", "share", nullptr);
}

}  // namespace vyr
