#include "scene/data_stream.h"

#include <cstdlib>
#include <cstring>

namespace vyr::test {

bool byteCount(uint32_t count, uint32_t elementSize, uint32_t& bytes) {
    if (elementSize && count > UINT32_MAX / elementSize) return false;
    bytes = count * elementSize;
    return true;
}

DataStream::~DataStream() { close(); }

bool DataStream::openMemoryRead(const void* block, size_t size) {
    close();
    memory = static_cast<uint8_t*>(const_cast<void*>(block));
    memorySize = size;
    position = 0;
    mode = StreamMode::MemoryRead;
    return true;
}

bool DataStream::openMemoryWrite() {
    close();
    position = capacity = 0;
    mode = StreamMode::MemoryWrite;
    return true;
}

bool DataStream::openFileRead(const char* path) {
    close();
    file = fopen(path, "rb");
    if (!file) return false;
    position = 0;
    mode = StreamMode::FileRead;
    return true;
}

bool DataStream::openFileWrite(const char* path) {
    close();
    file = fopen(path, "wb");
    if (!file) return false;
    position = 0;
    mode = StreamMode::FileWrite;
    return true;
}

bool DataStream::canRead(uint32_t count) const {
    if (mode == StreamMode::FileRead && file) return true;
    if (mode != StreamMode::MemoryRead || !memory) return false;
    // Subtracted, not added: position + count wraps where size_t has 32 bits.
    return position <= memorySize && count <= memorySize - position;
}

bool DataStream::readBlock(void* destination, uint32_t count) {
    if (mode == StreamMode::FileRead && file) {
        position += count;
        return fread(destination, 1, count, file) == count;
    }
    if (mode == StreamMode::MemoryRead && memory) {
        // Checked against the block: a read past its end transfers nothing.
        if (!canRead(count)) return false;
        memcpy(destination, memory + position, count);
        position += count;
        return true;
    }
    return false;
}

bool DataStream::readU32(uint32_t& value) {
    uint8_t b[4];
    if (!readBlock(b, 4)) return false;
    value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

bool DataStream::readF32(float& value) {
    uint32_t bits;
    if (!readU32(bits)) return false;
    memcpy(&value, &bits, 4);
    return true;
}

bool DataStream::readFlag(bool& value) {
    uint8_t b;
    if (!readBlock(&b, 1)) return false;
    value = b != 0;
    return true;
}

bool DataStream::readString(std::string& value) {
    uint32_t n = 0;
    // Checked first: a stored length must not allocate more than the block holds.
    if (!readU32(n) || !canRead(n)) return false;
    char* text = static_cast<char*>(malloc(n ? n : 1));
    if (!text) return false;
    bool ok = readBlock(text, n);
    if (ok) value.assign(text, strnlen(text, n));  // up to the first NUL
    free(text);
    return ok;
}

size_t DataStream::write(const void* source, size_t elementSize, size_t elementCount) {
    size_t s = elementSize * elementCount;
    if (mode == StreamMode::FileWrite && file) {
        position += uint32_t(s);
        return fwrite(source, elementSize, elementCount, file);
    }
    if (mode != StreamMode::MemoryWrite) return 0;
    if (!memory) {
        memory = static_cast<uint8_t*>(malloc(s ? s : 1));
        if (!memory) return 0;
        capacity += uint32_t(s);
    } else if (size_t(position) + s > capacity) {
        uint32_t grown = uint32_t(s + 2 * size_t(capacity));
        uint8_t* block = static_cast<uint8_t*>(realloc(memory, grown));
        if (!block) return 0;
        memory = block;
        capacity = grown;
    }
    if (s) memcpy(memory + position, source, s);
    position += uint32_t(s);
    return s;
}

void DataStream::writeU32(uint32_t value) {
    uint8_t b[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    write(b, 1, 4);
}

void DataStream::writeF32(float value) {
    uint32_t bits;
    memcpy(&bits, &value, 4);
    writeU32(bits);
}

void DataStream::writeFlag(bool value) {
    uint8_t b = value ? 1 : 0;
    write(&b, 1, 1);
}

void DataStream::writeString(const std::string& value) {
    size_t n = strlen(value.c_str()) + 1;
    writeU32(uint32_t(n));
    write(value.c_str(), 1, n);
}

void DataStream::stepBack(uint32_t count) {
    position -= count;
    if ((mode == StreamMode::FileRead || mode == StreamMode::FileWrite) && file)
        fseek(file, -long(count), SEEK_CUR);
}

void DataStream::close() {
    if ((mode == StreamMode::FileRead || mode == StreamMode::FileWrite) && file) {
        fclose(file);
        free(auxiliary);
        auxiliary = nullptr;
        file = nullptr;
    }
    if (mode == StreamMode::MemoryWrite) free(memory);
    memory = nullptr;
    mode = StreamMode::Closed;
}

}  // namespace vyr::test
