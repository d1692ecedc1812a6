#include "common/ini_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/ini_file_os.h"
#include "common/strings.h"

namespace vyr {

namespace {

constexpr uint32_t kBucketCount = 32;
// Section names are kept in a fixed buffer: longer headers are cut.
constexpr size_t kSectionSize = 50;

const char* const kErrorTexts[] = {
    "",
    "Parser error.",
    "User function error.",
    "No user function available.",
    "Invalid argument",
    "Out of memory.",
    "No such file or directory.",
};

struct Entry {
    Entry* prev;
    Entry* next;
    char* key;
    char* value;
};

uint32_t bucketOf(const char* key) {
    uint32_t h = 0;
    for (const char* p = key; *p; ++p) {
        // Bytes count as signed: keys with high-bit bytes land where they always have.
        h = (h << 4) + uint32_t(int32_t(static_cast<signed char>(*p))) * 13u;
        uint32_t g = h & 0xF0000000u;
        if (g) h = h ^ (g >> 24) ^ g;
    }
    return h % kBucketCount;
}

char* makeKey(const char* section, const char* name) {
    if (!section) section = "";
    if (!name) name = "";
    size_t size = strlen(section) + strlen(name) + 3;
    char* key = static_cast<char*>(malloc(size));
    if (!key) return nullptr;
    snprintf(key, size, "%s::%s", section, name);
    for (char* p = key; *p; ++p) {
        if (*p >= 'a' && *p <= 'z') *p = char(*p - 'a' + 'A');
    }
    return key;
}

IniError* makeError(uint32_t code, uint32_t line) {
    IniError* error = static_cast<IniError*>(calloc(1, sizeof(IniError)));
    if (!error) return nullptr;
    error->code = code;
    error->line = line;
    snprintf(error->text, sizeof error->text, "%s", kErrorTexts[code]);
    return error;
}

// The first c in text, or the inline comment (a ';' after a blank) that ends the
// search before it, or the end of text.
const char* findStopping(const char* text, char c) {
    const char* p = text;
    for (; *p; ++p) {
        if (*p == c) return p;
        if (*p == ';' && p > text && isBlank(p[-1])) return p;
    }
    return p;
}

void trimTrailing(char* begin, char* end) {
    while (end > begin && isBlank(end[-1])) --end;
    *end = '\0';
}

// A whole physical line without its line feed and without length limit; null at
// the end of the file or on a read error (ferror tells which). A NUL ends the text
// but not the line, so the next line keeps its own number.
char* readLine(FILE* file) {
    size_t capacity = 200, length = 0;
    char* line = static_cast<char*>(malloc(capacity));
    if (!line) return nullptr;
    bool any = false, cut = false;
    for (int c; (c = getc(file)) != EOF;) {
        any = true;
        if (c == '\n') break;
        if (c == '\0') cut = true;
        if (cut) continue;
        if (length + 1 == capacity) {
            char* bigger = static_cast<char*>(realloc(line, capacity * 2));
            if (!bigger) {
                cut = true;  // no memory: the line keeps what it has
                continue;
            }
            line = bigger;
            capacity *= 2;
        }
        line[length++] = char(c);
    }
    if (!any || ferror(file)) {
        free(line);
        return nullptr;
    }
    line[length] = '\0';
    return line;
}

}  // namespace

struct IniFile::Impl {
    char* fileName = nullptr;
    Entry buckets[kBucketCount];
    size_t count = 0;
    IniError* lastError = nullptr;

    Impl() {
        for (Entry& b : buckets) b.prev = b.next = &b;
    }

    void setError(IniError* error) {
        free(lastError);
        lastError = error;
    }

    Entry* find(const char* key) const {
        const Entry* bucket = &buckets[bucketOf(key)];
        for (Entry* e = bucket->next; e != bucket; e = e->next) {
            if (strcmp(e->key, key) == 0) return e;
        }
        return nullptr;
    }

    // One trimmed line; false when it is malformed.
    bool parseLine(IniFile& ini, char* line, char* section) {
        trimTrailing(line, line + strlen(line));
        while (isBlank(*line)) ++line;
        if (*line == '\0' || *line == ';' || *line == '#') return true;
        if (*line == '[') {
            const char* close = findStopping(line + 1, ']');
            if (*close != ']') return false;
            size_t length = size_t(close - (line + 1));
            if (length > kSectionSize - 1) length = kSectionSize - 1;
            memcpy(section, line + 1, length);
            section[length] = '\0';
            return true;
        }
        char* separator = const_cast<char*>(findStopping(line, '='));
        if (*separator != '=') {
            separator = const_cast<char*>(findStopping(line, ':'));
            if (*separator != ':') return false;
        }
        char* value = separator + 1;
        trimTrailing(line, separator);
        while (isBlank(*value)) ++value;
        // Only a ';' after a blank inside the value starts a comment, never its first character.
        for (char* p = value; *p; ++p) {
            if (*p == ';' && p > value && isBlank(p[-1])) {
                *p = '\0';
                break;
            }
        }
        trimTrailing(value, value + strlen(value));
        ini.setValue(section, line, value);
        return true;
    }
};

IniFile::IniFile(const char* fileName, bool parseNow) : impl(new Impl) {
    impl->fileName = copyText(fileName);
    if (parseNow) parse();
}

IniFile::~IniFile() {
    clear();
    delete impl;
}

bool IniFile::parse() {
    const char* name = impl->fileName;
    if (!name || !name[0]) {
        impl->setError(makeError(6, 0));
        return false;
    }
    char* parserName = copyText(name);
    if (!parserName) {
        impl->setError(makeError(5, 0));
        fprintf(stderr, "Cannot open .ini file \"%s\": %s\n", name, kErrorTexts[5]);
        return false;
    }
    FILE* file = os::openRegularFile(parserName);
    if (!file) {
        impl->setError(makeError(6, 0));
        fprintf(stderr, "Cannot open .ini file \"%s\": %s\n", name, kErrorTexts[6]);
        free(parserName);
        return false;
    }
    char section[kSectionSize] = "";
    uint32_t lineNumber = 0;
    bool ok = true;
    while (char* line = readLine(file)) {
        ++lineNumber;
        ok = impl->parseLine(*this, line, section);
        free(line);
        if (!ok) break;
    }
    // A file that fails part-way cannot be read, as if it had not opened; the
    // pairs read before stay, as after a parser error.
    bool readFailed = ok && ferror(file);
    fclose(file);
    free(parserName);
    if (readFailed) {
        impl->setError(makeError(6, 0));
        fprintf(stderr, "Cannot open .ini file \"%s\": %s\n", name, kErrorTexts[6]);
        return false;
    }
    if (!ok) {
        impl->setError(makeError(1, lineNumber));
        fprintf(stderr, "Cannot parse .ini file \"%s\": %s (line %d)\n", name, kErrorTexts[1], int(lineNumber));
        return false;
    }
    return true;
}

bool IniFile::reload() {
    char* name = copyText(impl->fileName);
    clear();
    impl->fileName = name;
    if (!name || !name[0]) fputs("Cannot parse file: Filename is empty\n", stderr);
    return parse();
}

void IniFile::clear() {
    for (Entry& bucket : impl->buckets) {
        Entry* e = bucket.next;
        while (e != &bucket) {
            Entry* next = e->next;
            free(e->key);
            free(e->value);
            free(e);
            e = next;
        }
        bucket.prev = bucket.next = &bucket;
    }
    impl->count = 0;
    free(impl->fileName);
    impl->fileName = nullptr;
    impl->setError(nullptr);
}

const char* IniFile::getValue(const char* section, const char* name) {
    if (impl->lastError) {
        fputs("Cannot get value: Parser is in error state\n", stderr);
        return nullptr;
    }
    if (!section || !section[0]) {
        fputs("Cannot get value: Section is empty\n", stderr);
        return nullptr;
    }
    if (!name || !name[0]) {
        fputs("Cannot get value: Name is empty\n", stderr);
        return nullptr;
    }
    return lookup(section, name);
}

const char* IniFile::lookup(const char* section, const char* name) const {
    char* key = makeKey(section, name);
    if (!key) return nullptr;
    Entry* e = impl->find(key);
    free(key);
    return e ? e->value : nullptr;
}

int IniFile::setValue(const char* section, const char* name, const char* value) {
    char* key = makeKey(section, name);
    if (!key) return 1;
    if (Entry* e = impl->find(key)) {
        free(key);
        free(e->value);
        e->value = copyText(value);
        return 1;
    }
    Entry* e = static_cast<Entry*>(malloc(sizeof(Entry)));
    if (!e) {
        free(key);
        return 1;
    }
    e->key = key;
    e->value = copyText(value);
    Entry* bucket = &impl->buckets[bucketOf(key)];
    e->prev = bucket;
    e->next = bucket->next;
    bucket->next->prev = e;
    bucket->next = e;
    ++impl->count;
    return 1;
}

void IniFile::setFileName(const char* name) {
    char* copy = copyText(name);
    free(impl->fileName);
    impl->fileName = copy;
}

const char* IniFile::fileName() const { return impl->fileName; }

const IniError* IniFile::lastError() const { return impl->lastError; }

size_t IniFile::entryCount() const { return impl->count; }

}  // namespace vyr
