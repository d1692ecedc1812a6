// A Vulkan list query (count, then items) as one call.
#pragma once

#include <cstdint>
#include <vector>

namespace vyr::test {

template <typename T, typename F>
std::vector<T> enumerate(F&& call) {
    uint32_t count = 0;
    call(&count, nullptr);
    std::vector<T> items(count);
    call(&count, items.data());
    items.resize(count);
    return items;
}

}  // namespace vyr::test
