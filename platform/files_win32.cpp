// Pairs with platform/files.h on Windows: CREATE_NEW under a random name,
// FlushFileBuffers before the move, MOVEFILE_WRITE_THROUGH for the move itself.
#include "platform/files.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstdint>
#include <cstdio>

namespace vyr::platform {

namespace {

constexpr int creationAttempts = 64;

std::string systemMessage(DWORD error) {
    char text[256] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == '.')) --length;
    return length ? std::string(text, length) : "error " + std::to_string(error);
}

// `path`.<16 random hex digits>.tmp, so that no one can plant a file at the
// name in advance.
bool randomNameBeside(const char* path, std::string& name) {
    uint64_t random = 0;
    if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&random), sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
        return false;
    char suffix[32];
    snprintf(suffix, sizeof suffix, ".%016llx.tmp", static_cast<unsigned long long>(random));
    name = std::string(path) + suffix;
    return true;
}

// A new file that did not exist (a link at the name counts as existing);
// INVALID_HANDLE_VALUE with the last error set.
HANDLE createExclusive(const char* path, std::string& name, DWORD flags) {
    for (int attempt = 0; attempt < creationAttempts; ++attempt) {
        if (!randomNameBeside(path, name)) return INVALID_HANDLE_VALUE;
        HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, flags, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

bool writeAll(HANDLE file, const std::string& contents) {
    const char* data = contents.data();
    size_t left = contents.size();
    while (left > 0) {
        DWORD chunk = left > 0x40000000 ? 0x40000000 : DWORD(left), written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        left -= written;
    }
    return true;
}

}  // namespace

bool writeFileWhole(const char* path, const std::string& contents, std::string& why) {
    std::string temporary;
    HANDLE file = createExclusive(path, temporary, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) {
        why = systemMessage(GetLastError());
        return false;
    }
    bool written = writeAll(file, contents) && FlushFileBuffers(file);
    DWORD error = GetLastError();
    CloseHandle(file);
    if (written &&
        MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (written) error = GetLastError();
    DeleteFileA(temporary.c_str());
    why = systemMessage(error);
    return false;
}

bool canCreateBeside(const char* path, std::string& why) {
    std::string probe;
    HANDLE file = createExclusive(path, probe, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE);
    if (file == INVALID_HANDLE_VALUE) {
        why = systemMessage(GetLastError());
        return false;
    }
    CloseHandle(file);
    return true;
}

}  // namespace vyr::platform
