// Read-only INI files: a case-insensitive dictionary keyed by section and name.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vyr {

struct IniError {
    uint32_t code;  // 1 parser, 2 user function, 3 no user function, 4 argument, 5 memory, 6 no file
    uint32_t line;  // 1-based; 0 when no line is involved
    char text[128];
};

class IniFile {
public:
    explicit IniFile(const char* fileName, bool parseNow = true);
    virtual ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    // Adds the file's pairs to the dictionary; does not empty it first.
    bool parse();
    // clear() keeping the file name, then parse().
    bool reload();
    void clear();

    // Refuses (with a message on stderr) in the error state and for empty section or name.
    const char* getValue(const char* section, const char* name);
    // Same look-up without the checks: also serves pairs before the first header.
    const char* lookup(const char* section, const char* name) const;
    int setValue(const char* section, const char* name, const char* value);

    void setFileName(const char* name);
    const char* fileName() const;
    const IniError* lastError() const;
    size_t entryCount() const;

private:
    struct Impl;
    Impl* impl;
};

}  // namespace vyr
