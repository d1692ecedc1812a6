// Which configuration texts count as values, per type. A value that is not usable
// lets the next source decide.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vyr::conf {

// Environment buffers: a value that does not fit, NUL included, is not usable.
constexpr size_t kStringBufferSize = 1024;
constexpr size_t kIntegerBufferSize = 32;
constexpr size_t kBooleanBufferSize = 8;

// Copies the variable's value, without surrounding whitespace, into buffer;
// empty when unset or too long for buffer.
void readEnvironment(const char* variable, char* buffer, size_t size);
// Trims text in place, for values taken from the environment.
char* trimBlanks(char* text);

bool usableString(const char* text);
bool parseInteger(const char* text, int32_t* value);
bool parseBoolean(const char* text, bool* value);

}  // namespace vyr::conf
