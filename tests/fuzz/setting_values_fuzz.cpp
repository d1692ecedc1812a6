// libFuzzer target: the usable-value rules of the settings, directly and through
// the environment buffers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/setting_values.h"

using namespace vyr::conf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));

    int32_t number = 0;
    bool flag = false;
    bool isInteger = parseInteger(text.c_str(), &number);
    bool isBoolean = parseBoolean(text.c_str(), &flag);
    bool isString = usableString(text.c_str());
    // Every usable integer or boolean is also a usable string.
    if ((isInteger || isBoolean) && !isString) abort();
    if (isInteger && isBoolean && number != (flag ? 1 : 0)) abort();

    if (text.find('=') == std::string::npos && setenv("VYR_FUZZ_VALUE", text.c_str(), 1) == 0) {
        const size_t sizes[] = {kBooleanBufferSize, kIntegerBufferSize, kStringBufferSize};
        for (size_t bufferSize : sizes) {
            char buffer[kStringBufferSize];
            memset(buffer, 'x', sizeof buffer);
            readEnvironment("VYR_FUZZ_VALUE", buffer, bufferSize);
            size_t length = strnlen(buffer, bufferSize);
            if (length >= bufferSize) abort();
            if (length && (buffer[0] == ' ' || buffer[length - 1] == ' ')) abort();
            if (text.size() + 1 > bufferSize && length) abort();
        }
    }
    return 0;
}
