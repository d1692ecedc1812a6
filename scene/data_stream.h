// The little-endian binary stream through which all scene content is read and written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vyr::test {

enum class StreamMode : int { Closed = 0, FileRead = 1, FileWrite = 2, MemoryRead = 3, MemoryWrite = 4 };

enum PixelFormat : uint32_t { Index8 = 0, RGB8 = 1, RGBA8 = 2 };

// count × elementSize as a byte count for a stream's 32-bit positions; false
// when it does not fit. Every size made from counts read from a stream goes
// through here, so that a crafted count can neither wrap nor be cut short.
bool byteCount(uint32_t count, uint32_t elementSize, uint32_t& bytes);

class DataStream {
public:
    DataStream() = default;
    ~DataStream();
    DataStream(const DataStream&) = delete;
    DataStream& operator=(const DataStream&) = delete;

    // Reads a block it does not own; reads past `size` transfer nothing.
    bool openMemoryRead(const void* memory, size_t size);
    bool openMemoryWrite();
    bool openFileRead(const char* path);
    bool openFileWrite(const char* path);

    // False when a memory block has fewer than count bytes left, or the stream
    // does not read; a file stream says true (only fread finds its end).
    bool canRead(uint32_t count) const;
    bool readU32(uint32_t& value);
    bool readF32(float& value);
    bool readFlag(bool& value);
    bool readBlock(void* destination, uint32_t count);
    // The text up to the first NUL; the position advances by the full stored count.
    bool readString(std::string& value);

    // Result: bytes (MemoryWrite) or elements (FileWrite) written, 0 in other modes.
    size_t write(const void* source, size_t elementSize, size_t elementCount);
    void writeU32(uint32_t value);
    void writeF32(float value);
    void writeFlag(bool value);
    void writeString(const std::string& value);

    void stepBack(uint32_t count);
    void close();

    StreamMode streamMode() const { return mode; }
    uint32_t streamPosition() const { return position; }
    uint32_t streamCapacity() const { return capacity; }
    // The MemoryWrite block (valid until the next write or close).
    const uint8_t* data() const { return memory; }

private:
    uint32_t capacity = 0;
    uint32_t position = 0;
    uint8_t* memory = nullptr;
    FILE* file = nullptr;
    StreamMode mode = StreamMode::Closed;
    void* auxiliary = nullptr;
    size_t memorySize = 0;  // MemoryRead: size of the block read
};

}  // namespace vyr::test
