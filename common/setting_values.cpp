#include "common/setting_values.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/strings.h"

namespace vyr::conf {

char* trimBlanks(char* text) {
    while (isBlank(*text)) ++text;
    size_t length = strlen(text);
    while (length > 0 && isBlank(text[length - 1])) text[--length] = '\0';
    return text;
}

void readEnvironment(const char* variable, char* buffer, size_t size) {
    buffer[0] = '\0';
    const char* value = getenv(variable);
    if (!value || strlen(value) + 1 > size) return;
    strcpy(buffer, value);
    char* trimmed = trimBlanks(buffer);
    memmove(buffer, trimmed, strlen(trimmed) + 1);
}

bool usableString(const char* text) { return text && text[0] && strcmp(text, "<null>") != 0; }

bool parseInteger(const char* text, int32_t* value) {
    if (!usableString(text)) return false;
    char* end = nullptr;
    errno = 0;
    long number = strtol(text, &end, 10);
    if (end == text || *end != '\0') return false;
    // strtol clamps to long; a 64-bit long still needs the 32-bit clamp.
    if (number > INT32_MAX) number = INT32_MAX;
    if (number < INT32_MIN) number = INT32_MIN;
    *value = int32_t(number);
    return true;
}

bool parseBoolean(const char* text, bool* value) {
    if (!usableString(text)) return false;
    if (equalsIgnoreCase(text, "true")) {
        *value = true;
        return true;
    }
    if (equalsIgnoreCase(text, "false")) {
        *value = false;
        return true;
    }
    int32_t number = 0;
    if (!parseInteger(text, &number) || (number != 0 && number != 1)) return false;
    *value = number == 1;
    return true;
}

}  // namespace vyr::conf
