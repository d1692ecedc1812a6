// libFuzzer target: arbitrary bytes as an INI file, then the look-ups.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/ini_file.h"

namespace {
int fileFd = -1;
std::string filePath;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fileFd = memfd_create("ini", 0);
    filePath = "/proc/self/fd/" + std::to_string(fileFd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (ftruncate(fileFd, 0) != 0 || pwrite(fileFd, data, size, 0) != ssize_t(size)) return 0;
    vyr::IniFile ini(filePath.c_str(), true);
    // Names taken from the input itself, so look-ups hit real entries.
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string first = text.substr(0, text.find_first_of("=:\n"));
    ini.lookup("", first.c_str());
    ini.lookup(first.c_str(), first.c_str());
    ini.getValue("s", first.c_str());
    const vyr::IniError* error = ini.lastError();
    if (error && (error->code != 1 || error->line == 0)) abort();
    size_t count = ini.entryCount();
    ini.reload();
    if (!ini.lastError() && ini.entryCount() != count) abort();
    ini.setValue("s", "k", nullptr);
    return 0;
}
