#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace plyfold::engine::xlsx {

// Where the bytes of an archive go: a file being written, or memory in tests. write() throws
// on failure.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const char* data, size_t size) = 0;
};

class StringSink : public ByteSink {
public:
    void write(const char* data, size_t size) override { m_bytes.append(data, size); }
    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

struct ZipWriterOptions {
    // Deflate level, 0 (fastest) to 3 (smallest), as deflate.h takes it: 1 is fast and still
    // compresses XML well.
    int level = 1;
    // Input is deflated in pieces of this size, each on whichever worker is free; every piece
    // but the first is primed with the 32 KiB before it, so the ratio barely suffers.
    size_t chunkSize = size_t{256} * 1024;
    // Worker threads for deflate; 0 deflates on the calling thread. -1 picks one a core.
    int threads = -1;
    // Sizes and offsets at or past this use ZIP64 records; entry counts at or past
    // zip64EntryCount do too. Lowered only by tests.
    uint64_t zip64Size = 0xFFFFFFFFu;
    uint64_t zip64EntryCount = 0xFFFFu;
};

// Writes a zip archive entry by entry, deflating as the bytes come. An entry is never held
// whole: its bytes are cut into chunks that are compressed (in parallel when there are
// workers) and written in order as they are done. Sizes and CRC go into a data descriptor
// after each entry and into the central directory, with ZIP64 records where a size, an offset
// or the entry count needs them.
class ZipWriter {
public:
    explicit ZipWriter(ByteSink& sink, const ZipWriterOptions& options = {});
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    void beginEntry(std::string_view name);
    void write(std::string_view bytes);
    // Hands over a filled buffer without copying it; buffer comes back empty (with capacity
    // kept from an earlier chunk where there is one) for the caller to fill again.
    void writeChunk(std::string& buffer);
    void endEntry();
    // Writes the central directory. Nothing may be written after it.
    void finish();

    size_t chunkSize() const { return m_options.chunkSize; }
    uint64_t bytesWritten() const { return m_offset; }

private:
    struct Job;
    struct Pool;
    struct EntryRecord {
        std::string name;
        uint64_t headerOffset = 0;
        uint64_t compressedSize = 0;
        uint64_t size = 0;
        uint32_t crc = 0;
    };

    void submit(std::string& input, bool last);
    void drain(bool waitForAll);
    void collect(Job& job);
    void emit(const void* data, size_t size);
    void put16(std::string& out, uint32_t value);
    void put32(std::string& out, uint32_t value);
    void put64(std::string& out, uint64_t value);

    ByteSink& m_sink;
    ZipWriterOptions m_options;
    std::unique_ptr<Pool> m_pool;
    std::vector<EntryRecord> m_entries;
    std::string m_pending;     // bytes of the current entry not yet cut into a chunk
    std::string m_dictionary;  // the last 32 KiB given to the compressor in this entry
    std::vector<std::string> m_spareBuffers;
    uint64_t m_offset = 0;
    bool m_inEntry = false;
    bool m_finished = false;
};

}  // namespace plyfold::engine::xlsx
