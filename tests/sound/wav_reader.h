// The parts of a RIFF/WAVE file the sound tests look at.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vyr::testing {

struct WavFile {
    bool valid = false;
    uint16_t format = 0, channels = 0, bitsPerSample = 0, blockAlign = 0;
    uint32_t rate = 0, byteRate = 0, riffSize = 0;
    size_t fileSize = 0;
    std::vector<uint8_t> data;  // the data chunk's bytes

    std::vector<int16_t> samples() const {
        std::vector<int16_t> out(data.size() / 2);
        for (size_t i = 0; i < out.size(); ++i) out[i] = int16_t(data[2 * i] | (data[2 * i + 1] << 8));
        return out;
    }
};

inline WavFile readWav(const std::string& path) {
    WavFile wav;
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    wav.fileSize = bytes.size();
    auto u32 = [&](size_t at) {
        return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
               uint32_t(bytes[at + 3]) << 24;
    };
    auto u16 = [&](size_t at) { return uint16_t(bytes[at] | bytes[at + 1] << 8); };
    auto tag = [&](size_t at, const char* t) { return std::string(bytes.begin() + at, bytes.begin() + at + 4) == t; };
    if (bytes.size() < 12 || !tag(0, "RIFF") || !tag(8, "WAVE")) return wav;
    wav.riffSize = u32(4);
    bool haveFormat = false;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        uint32_t size = u32(at + 4);
        if (at + 8 + size > bytes.size()) return wav;
        if (tag(at, "fmt ") && size >= 16) {
            wav.format = u16(at + 8);
            wav.channels = u16(at + 10);
            wav.rate = u32(at + 12);
            wav.byteRate = u32(at + 16);
            wav.blockAlign = u16(at + 20);
            wav.bitsPerSample = u16(at + 22);
            haveFormat = true;
        } else if (tag(at, "data")) {
            wav.data.assign(bytes.begin() + at + 8, bytes.begin() + at + 8 + size);
            wav.valid = haveFormat;
            return wav;
        }
        at += 8 + size + (size & 1);
    }
    return wav;
}

}  // namespace vyr::testing
