// Small text helpers shared by the common library.
#pragma once

namespace vyr {

// A heap copy (malloc) of text, or null for null text or no memory.
char* copyText(const char* text);
// ASCII letter case only, like _stricmp / strcasecmp in the C locale.
bool equalsIgnoreCase(const char* a, const char* b);
bool isBlank(char c);

}  // namespace vyr
