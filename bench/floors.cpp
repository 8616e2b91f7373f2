#include "bench/floors.h"

#include <expat.h>
#include <isa-l/igzip_lib.h>
#include <zip.h>
#include <zlib.h>
#if PLYFOLD_BENCH_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <algorithm>
#include <stdexcept>

#include "bench/measure.h"

namespace plyfold::bench {
namespace {

// The uncompressed parts of a package whose names start with prefix.
std::vector<std::string> readParts(const std::string& package, const std::string& prefix) {
    int error = 0;
    zip_t* archive = zip_open(package.c_str(), ZIP_RDONLY, &error);
    if (!archive) {
        throw std::runtime_error("cannot open " + package);
    }
    std::vector<std::string> parts;
    zip_int64_t entries = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < entries; ++i) {
        std::string name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        if (name.rfind(prefix, 0) != 0) {
            continue;
        }
        zip_stat_t stat;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
        std::string bytes(stat.size, '\0');
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        zip_fread(file, bytes.data(), stat.size);
        zip_fclose(file);
        parts.push_back(std::move(bytes));
    }
    zip_close(archive);
    return parts;
}

// A deflated entry as stored, with the size it inflates to.
struct RawEntry {
    std::string compressed;
    size_t size = 0;
};

std::vector<RawEntry> readDeflated(const std::vector<std::string>& packages) {
    std::vector<RawEntry> entries;
    for (const std::string& package : packages) {
        int error = 0;
        zip_t* archive = zip_open(package.c_str(), ZIP_RDONLY, &error);
        if (!archive) {
            throw std::runtime_error("cannot open " + package);
        }
        zip_int64_t count = zip_get_num_entries(archive, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            zip_stat_t stat;
            auto index = static_cast<zip_uint64_t>(i);
            if (zip_stat_index(archive, index, 0, &stat) != 0 ||
                stat.comp_method != ZIP_CM_DEFLATE) {
                continue;
            }
            RawEntry entry;
            entry.size = stat.size;
            entry.compressed.resize(stat.comp_size);
            zip_file_t* file = zip_fopen_index(archive, index, ZIP_FL_COMPRESSED);
            zip_fread(file, entry.compressed.data(), stat.comp_size);
            zip_fclose(file);
            entries.push_back(std::move(entry));
        }
        zip_close(archive);
    }
    return entries;
}

// Inflates every entry with one library; returns the seconds and checks the sizes.
template <typename Inflate>
Floor timeInflate(const std::vector<RawEntry>& entries, Inflate inflate) {
    size_t largest = 0;
    for (const RawEntry& entry : entries) {
        largest = std::max(largest, entry.size);
    }
    std::string out(largest, '\0');
    Floor floor;
    floor.seconds = secondsOf([&] {
        for (const RawEntry& entry : entries) {
            if (inflate(entry, out.data()) != entry.size) {
                throw std::runtime_error("an inflate floor produced the wrong size");
            }
            floor.bytes += static_cast<double>(entry.size);
        }
    });
    return floor;
}

size_t zlibInflate(const RawEntry& entry, char* out) {
    z_stream stream{};
    inflateInit2(&stream, -15);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(entry.compressed.data()));
    stream.avail_in = static_cast<uInt>(entry.compressed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out);
    stream.avail_out = static_cast<uInt>(entry.size);
    inflate(&stream, Z_FINISH);
    size_t produced = stream.total_out;
    volatile uLong crc = crc32(0, reinterpret_cast<Bytef*>(out), static_cast<uInt>(produced));
    (void)crc;
    inflateEnd(&stream);
    return produced;
}

size_t isalInflate(const RawEntry& entry, char* out) {
    inflate_state state;
    isal_inflate_init(&state);
    state.next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(entry.compressed.data()));
    state.avail_in = static_cast<uint32_t>(entry.compressed.size());
    state.next_out = reinterpret_cast<uint8_t*>(out);
    state.avail_out = static_cast<uint32_t>(entry.size);
    state.crc_flag = ISAL_GZIP_NO_HDR;  // computes the CRC, as a zip reader must
    isal_inflate(&state);
    return state.total_out;
}

}  // namespace

std::string resultLikeSheet(const std::vector<std::string>& packages, size_t minBytes) {
    std::vector<std::string> parts;
    for (const std::string& package : packages) {
        for (std::string& part : readParts(package, "xl/worksheets/sheet")) {
            parts.push_back(std::move(part));
        }
    }
    std::string sheet;
    while (!parts.empty() && sheet.size() < minBytes) {
        for (const std::string& part : parts) {
            sheet += part;
        }
    }
    sheet.resize(std::min(sheet.size(), minBytes));
    return sheet;
}

std::vector<CodecFloor> codecFloors(const std::vector<std::string>& packages,
                                    const std::string& sheet) {
    const std::vector<RawEntry> entries = readDeflated(packages);
    std::vector<CodecFloor> floors;
    std::vector<unsigned char> out(sheet.size() + sheet.size() / 8 + 65536);
    auto* in = reinterpret_cast<unsigned char*>(const_cast<char*>(sheet.data()));

    CodecFloor zlib;
    zlib.library = "zlib";
    zlib.inflate = timeInflate(entries, zlibInflate);
    zlib.deflate.bytes = static_cast<double>(sheet.size());
    zlib.deflate.seconds = secondsOf([&] {
        z_stream stream{};
        deflateInit2(&stream, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        stream.next_in = in;
        stream.avail_in = static_cast<uInt>(sheet.size());
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        deflate(&stream, Z_FINISH);
        zlib.compressedBytes = static_cast<double>(stream.total_out);
        deflateEnd(&stream);
    });
    floors.push_back(zlib);

    CodecFloor isal;
    isal.library = "ISA-L";
    isal.inflate = timeInflate(entries, isalInflate);
    isal.deflate.bytes = static_cast<double>(sheet.size());
    std::vector<uint8_t> levelBuffer(ISAL_DEF_LVL1_DEFAULT);
    isal.deflate.seconds = secondsOf([&] {
        isal_zstream stream;
        isal_deflate_init(&stream);
        stream.level = 1;
        stream.level_buf = levelBuffer.data();
        stream.level_buf_size = static_cast<uint32_t>(levelBuffer.size());
        stream.end_of_stream = 1;
        stream.next_in = in;
        stream.avail_in = static_cast<uint32_t>(sheet.size());
        stream.next_out = out.data();
        stream.avail_out = static_cast<uint32_t>(out.size());
        isal_deflate(&stream);
        isal.compressedBytes = static_cast<double>(stream.total_out);
    });
    floors.push_back(isal);

#if PLYFOLD_BENCH_LIBDEFLATE
    CodecFloor deflate;
    deflate.library = "libdeflate";
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    deflate.inflate = timeInflate(entries, [decompressor](const RawEntry& entry, char* buffer) {
        size_t produced = 0;
        libdeflate_deflate_decompress(decompressor, entry.compressed.data(),
                                      entry.compressed.size(), buffer, entry.size, &produced);
        // The CRC a zip reader checks, which the others compute as they inflate.
        volatile uint32_t crc = libdeflate_crc32(0, buffer, produced);
        (void)crc;
        return produced;
    });
    libdeflate_free_decompressor(decompressor);
    deflate.deflate.bytes = static_cast<double>(sheet.size());
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(1);
    deflate.deflate.seconds = secondsOf([&] {
        deflate.compressedBytes = static_cast<double>(libdeflate_deflate_compress(
            compressor, sheet.data(), sheet.size(), out.data(), out.size()));
    });
    libdeflate_free_compressor(compressor);
    floors.push_back(deflate);
#endif
    return floors;
}

Floor inflateFloor(const std::vector<std::string>& packages) {
    Floor floor;
    floor.seconds = secondsOf([&] {
        for (const std::string& package : packages) {
            for (const std::string& part : readParts(package, "")) {
                floor.bytes += static_cast<double>(part.size());
            }
        }
    });
    return floor;
}

Floor expatFloor(const std::vector<std::string>& packages) {
    Floor floor;
    for (const std::string& package : packages) {
        for (const std::string& part : readParts(package, "xl/worksheets/")) {
            floor.seconds += secondsOf([&] {
                XML_Parser parser = XML_ParserCreate(nullptr);
                XML_Parse(parser, part.data(), static_cast<int>(part.size()), 1);
                XML_ParserFree(parser);
            });
            floor.bytes += static_cast<double>(part.size());
        }
    }
    return floor;
}

Floor deflateFloor(const std::vector<std::string>& packages, int level, double& compressedBytes) {
    Floor floor;
    compressedBytes = 0;
    for (const std::string& package : packages) {
        for (const std::string& part : readParts(package, "xl/")) {
            std::vector<unsigned char> out(compressBound(static_cast<uLong>(part.size())));
            floor.seconds += secondsOf([&] {
                z_stream stream{};
                deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
                stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data()));
                stream.avail_in = static_cast<uInt>(part.size());
                stream.next_out = out.data();
                stream.avail_out = static_cast<uInt>(out.size());
                deflate(&stream, Z_FINISH);
                compressedBytes += static_cast<double>(stream.total_out);
                deflateEnd(&stream);
            });
            floor.bytes += static_cast<double>(part.size());
        }
    }
    return floor;
}

}  // namespace plyfold::bench
