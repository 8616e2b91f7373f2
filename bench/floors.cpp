#include "bench/floors.h"

#include <expat.h>
#include <zip.h>
#include <zlib.h>

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

}  // namespace

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
