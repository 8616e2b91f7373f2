#include "engine/io/xlsx/zip_package.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <random>

#include "engine/io/xlsx/deflate.h"
#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/zip_writer.h"
#include "tests/support/temp_dir.h"
#include "zip_builder.h"

namespace plyfold::engine::xlsx_read {
namespace {

using plyfold::test::randomBytes;
using test::ZipBuilder;

std::string xmlLike(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::string text;
    for (int row = 1; text.size() < size; ++row) {
        text += "<row r=\"" + std::to_string(row) + "\"><c><v>" +
                std::to_string(random() % 100000) + "</v></c></row>";
    }
    text.resize(size);
    return text;
}

// Reads a part whole, in reads of the given size.
std::string readPart(const std::string& archive, const std::string& name, size_t readSize = 4096) {
    auto package = ZipPackage::openMemory(archive);
    auto source = package->openPart(name, kMaxLargePartBytes);
    std::string out;
    std::string buffer(readSize, '\0');
    while (size_t n = source->read(buffer.data(), buffer.size())) {
        out.append(buffer, 0, n);
    }
    return out;
}

// The failure reading a part whole, or "" when it reads.
std::string failureReading(const std::string& archive, const std::string& name) {
    try {
        readPart(archive, name);
    } catch (const ReadFailure& failure) {
        EXPECT_EQ(failure.kind(), FailureKind::Damaged) << failure.message();
        return failure.message();
    }
    return "";
}

uint32_t zlibCrc(const std::string& data) {
    return static_cast<uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

TEST(Deflate, CrcMatchesZlibWholeAndCombined) {
    const std::string data = randomBytes(100003, 1);
    EXPECT_EQ(xlsx::crc32(0, data.data(), data.size()), zlibCrc(data));
    EXPECT_EQ(xlsx::crc32(0, data.data(), 0), 0u);
    for (size_t cut : {size_t{0}, size_t{1}, size_t{4096}, size_t{65537}, data.size()}) {
        const std::string first = data.substr(0, cut);
        const std::string second = data.substr(cut);
        EXPECT_EQ(xlsx::crc32Combine(zlibCrc(first), zlibCrc(second), second.size()), zlibCrc(data))
            << cut;
        EXPECT_EQ(xlsx::crc32(zlibCrc(first), second.data(), second.size()), zlibCrc(data));
    }
}

TEST(Deflate, PiecesJoinIntoOneStreamThatZlibAndTheInflaterRead) {
    // Pieces compressed apart, each primed with the 32 KiB before it, make one stream.
    for (int level = xlsx::kMinDeflateLevel; level <= xlsx::kMaxDeflateLevel; ++level) {
        const std::string text = xmlLike(300000, 3) + randomBytes(70000, 4) + xmlLike(5, 5);
        xlsx::Deflater deflater(level);
        std::string stream, piece;
        for (size_t at = 0; at < text.size(); at += 65536) {
            const size_t from = at > 32768 ? at - 32768 : 0;
            const bool last = at + 65536 >= text.size();
            deflater.compress(std::string_view(text).substr(from, at - from),
                              std::string_view(text).substr(at, 65536), last, piece);
            stream += piece;
        }
        std::string viaZlib(text.size() + 1, '\0');
        uLongf size = static_cast<uLongf>(viaZlib.size());
        z_stream z{};
        ASSERT_EQ(inflateInit2(&z, -15), Z_OK);
        z.next_in = reinterpret_cast<Bytef*>(stream.data());
        z.avail_in = static_cast<uInt>(stream.size());
        z.next_out = reinterpret_cast<Bytef*>(viaZlib.data());
        z.avail_out = static_cast<uInt>(size);
        EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END) << "level " << level;
        viaZlib.resize(z.total_out);
        inflateEnd(&z);
        EXPECT_TRUE(viaZlib == text) << "level " << level;

        // The inflater fed a few bytes at a time into a small buffer.
        xlsx::Inflater inflater;
        std::string out;
        char buffer[1000];
        size_t at = 0;
        bool finished = false;
        while (!finished) {
            const size_t give = std::min<size_t>(stream.size() - at, 777);
            auto step =
                inflater.inflate(std::string_view(stream).substr(at, give), buffer, sizeof buffer);
            ASSERT_TRUE(step.consumed > 0 || step.produced > 0 || step.finished);
            at += step.consumed;
            out.append(buffer, step.produced);
            finished = step.finished;
        }
        EXPECT_TRUE(out == text) << "level " << level;
        EXPECT_EQ(inflater.crc(), zlibCrc(text));
    }
}

TEST(ZipPackage, WrittenPartsReadBackWhateverTheirSize) {
    const size_t chunk = 4096;
    const std::vector<std::pair<std::string, std::string>> parts = {
        {"empty.xml", ""},
        {"one.xml", "x"},
        {"chunk.xml", xmlLike(chunk, 1)},
        {"chunk-and-one.xml", xmlLike(chunk + 1, 2)},
        {"many.xml", xmlLike(chunk * 41 + 17, 3)},
        {"random.bin", randomBytes(chunk * 9 + 5, 4)},
    };
    for (int threads : {0, 2}) {
        xlsx::StringSink sink;
        xlsx::ZipWriterOptions options;
        options.chunkSize = chunk;
        options.threads = threads;
        xlsx::ZipWriter writer(sink, options);
        for (const auto& [name, content] : parts) {
            writer.beginEntry(name);
            writer.write(content);
            writer.endEntry();
        }
        writer.finish();
        for (const auto& [name, content] : parts) {
            for (size_t readSize : {size_t{1}, size_t{1000}, size_t{1} << 20}) {
                if (readSize == 1 && content.size() > 100000) {
                    continue;
                }
                EXPECT_TRUE(readPart(sink.bytes(), name, readSize) == content)
                    << name << " in reads of " << readSize;
            }
        }
    }
}

TEST(ZipPackage, StoredAndDeflatedEntriesRead) {
    const std::string text = xmlLike(200000, 6);
    const std::string archive = ZipBuilder()
                                    .add("stored.xml", text, ZipBuilder::Method::Stored)
                                    .add("deflated.xml", text)
                                    .add("empty-stored.xml", "", ZipBuilder::Method::Stored)
                                    .finish();
    EXPECT_TRUE(readPart(archive, "stored.xml") == text);
    EXPECT_TRUE(readPart(archive, "deflated.xml") == text);
    EXPECT_EQ(readPart(archive, "empty-stored.xml"), "");
}

// The offset of an entry's data in an archive ZipBuilder wrote with it first.
size_t firstDataOffset(const std::string& name) {
    return 30 + name.size();
}

TEST(ZipPackage, DamagedEntriesAreNamedAsDamage) {
    const std::string text = xmlLike(50000, 7);
    struct Case {
        const char* what;
        ZipBuilder::Method method;
        std::function<void(std::string&)> damage;
        const char* expected;
    };
    const size_t at = firstDataOffset("a.xml");
    const std::vector<Case> cases = {
        {"a reserved block type", ZipBuilder::Method::Deflated,
         [at](std::string& zip) { zip[at] = static_cast<char>(0xFF); }, "not valid deflate data"},
        {"a changed stored byte", ZipBuilder::Method::Stored,
         [at](std::string& zip) { zip[at + 100] ^= 1; }, "CRC"},
        {"a changed deflated byte", ZipBuilder::Method::Deflated,
         [at](std::string& zip) { zip[at + 2000] ^= 0x10; }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string archive = ZipBuilder().add("a.xml", text, c.method).finish();
        c.damage(archive);
        const std::string failure = failureReading(archive, "a.xml");
        EXPECT_FALSE(failure.empty());
        EXPECT_NE(failure.find(c.expected), std::string::npos) << failure;
    }
}

TEST(ZipPackage, DeclaredSizesOtherThanTheDataAreDamage) {
    const std::string text = xmlLike(10000, 8);
    for (auto method : {ZipBuilder::Method::Stored, ZipBuilder::Method::Deflated}) {
        const bool deflated = method == ZipBuilder::Method::Deflated;
        SCOPED_TRACE(deflated ? "deflated" : "stored");
        for (uint32_t declared : {20000u, 5000u, 0u}) {
            const std::string archive =
                ZipBuilder().add("a.xml", text, method).declareSize(declared).finish();
            const std::string failure = failureReading(archive, "a.xml");
            EXPECT_FALSE(failure.empty()) << declared;
            if (deflated) {
                EXPECT_NE(failure.find(declared > text.size() ? "less data" : "more data"),
                          std::string::npos)
                    << failure;
            }
        }
    }
}

TEST(ZipPackage, DeflateStreamCutShortIsDamage) {
    // The entry's deflated data ends before its final block: the archive is rewritten with
    // the stream's first half as the whole entry.
    const std::string text = randomBytes(40000, 9);
    std::string compressed(compressBound(static_cast<uLong>(text.size())), '\0');
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(compressed.data());
    z.avail_out = static_cast<uInt>(compressed.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    compressed.resize(z.total_out / 2);
    deflateEnd(&z);
    // Stored under method 8 by hand: a ZipBuilder entry of the cut stream, relabelled.
    std::string archive = ZipBuilder()
                              .add("a.xml", compressed, ZipBuilder::Method::Stored)
                              .declareSize(static_cast<uint32_t>(text.size()))
                              .finish();
    archive[8] = 8;  // local header's method
    const size_t central = archive.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(central, std::string::npos);
    archive[central + 10] = 8;  // central header's method
    const std::string failure = failureReading(archive, "a.xml");
    EXPECT_NE(failure.find("ends early"), std::string::npos) << failure;
}

}  // namespace
}  // namespace plyfold::engine::xlsx_read
