#include "zip_builder.h"

#include <zlib.h>

#include <stdexcept>

namespace plyfold::test {
namespace {

void put16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

class Deflater {
public:
    Deflater() {
        if (deflateInit2(&m_stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
            throw std::runtime_error("deflateInit2");
        }
    }
    ~Deflater() { deflateEnd(&m_stream); }
    void feed(std::string_view data, std::string& out, bool last) {
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        m_stream.avail_in = static_cast<uInt>(data.size());
        char buffer[1 << 16];
        int result;
        do {
            m_stream.next_out = reinterpret_cast<Bytef*>(buffer);
            m_stream.avail_out = sizeof buffer;
            result = deflate(&m_stream, last ? Z_FINISH : Z_NO_FLUSH);
            out.append(buffer, sizeof buffer - m_stream.avail_out);
        } while (m_stream.avail_out == 0 || (last && result != Z_STREAM_END));
    }

private:
    z_stream m_stream{};
};

}  // namespace

ZipBuilder& ZipBuilder::add(std::string name, std::string_view data, Method method) {
    Entry entry;
    entry.name = std::move(name);
    entry.crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    entry.size = static_cast<uint32_t>(data.size());
    if (method == Method::Deflated) {
        entry.method = 8;
        Deflater deflater;
        deflater.feed(data, entry.compressed, true);
    } else {
        entry.compressed = std::string(data);
    }
    m_entries.push_back(std::move(entry));
    return *this;
}

ZipBuilder& ZipBuilder::addRepeated(std::string name, std::string_view prefix,
                                    std::string_view unit, uint64_t count,
                                    std::string_view suffix) {
    Entry entry;
    entry.name = std::move(name);
    entry.method = 8;
    Deflater deflater;
    uLong crc = crc32(0, nullptr, 0);
    uint64_t size = 0;
    auto take = [&](std::string_view data, bool last) {
        crc =
            crc32(crc, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
        size += data.size();
        deflater.feed(data, entry.compressed, last);
    };
    take(prefix, false);
    // Feed the repeats in blocks of about a megabyte.
    std::string block;
    uint64_t perBlock = std::max<uint64_t>(1, (1 << 20) / std::max<size_t>(unit.size(), 1));
    for (uint64_t i = 0; i < perBlock && i < count; ++i) {
        block += unit;
    }
    for (uint64_t done = 0; done < count;) {
        uint64_t n = std::min(perBlock, count - done);
        take(std::string_view(block).substr(0, n * unit.size()), false);
        done += n;
    }
    take(suffix, true);
    entry.crc = static_cast<uint32_t>(crc);
    entry.size = static_cast<uint32_t>(size);
    m_entries.push_back(std::move(entry));
    return *this;
}

ZipBuilder& ZipBuilder::declareSize(uint32_t size) {
    m_entries.back().size = size;
    return *this;
}

ZipBuilder& ZipBuilder::markEncrypted() {
    m_entries.back().flags |= 1;
    return *this;
}

std::string ZipBuilder::finish() const {
    std::string out;
    std::vector<uint32_t> offsets;
    for (const Entry& e : m_entries) {
        offsets.push_back(static_cast<uint32_t>(out.size()));
        put32(out, 0x04034b50);
        put16(out, 20);
        put16(out, e.flags);
        put16(out, e.method);
        put16(out, 0);
        put16(out, 0x21);
        put32(out, e.crc);
        put32(out, static_cast<uint32_t>(e.compressed.size()));
        put32(out, e.size);
        put16(out, static_cast<uint32_t>(e.name.size()));
        put16(out, 0);
        out += e.name;
        out += e.compressed;
    }
    uint32_t directory = static_cast<uint32_t>(out.size());
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& e = m_entries[i];
        put32(out, 0x02014b50);
        put16(out, 20);
        put16(out, 20);
        put16(out, e.flags);
        put16(out, e.method);
        put16(out, 0);
        put16(out, 0x21);
        put32(out, e.crc);
        put32(out, static_cast<uint32_t>(e.compressed.size()));
        put32(out, e.size);
        put16(out, static_cast<uint32_t>(e.name.size()));
        put16(out, 0);
        put16(out, 0);
        put16(out, 0);
        put16(out, 0);
        put32(out, 0);
        put32(out, offsets[i]);
        out += e.name;
    }
    uint32_t directorySize = static_cast<uint32_t>(out.size()) - directory;
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<uint32_t>(m_entries.size()));
    put16(out, static_cast<uint32_t>(m_entries.size()));
    put32(out, directorySize);
    put32(out, directory);
    put16(out, 0);
    return out;
}

}  // namespace plyfold::test
