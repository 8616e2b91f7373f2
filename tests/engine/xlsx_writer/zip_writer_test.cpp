#include "engine/io/xlsx/zip_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <stdexcept>

#include "tests/engine/xlsx_writer/package_inspection.h"
#include "tests/support/temp_dir.h"

namespace plyfold::engine::xlsx {
namespace {

using plyfold::test::randomBytes;
using plyfold::test::unzipAll;

// Text that compresses like sheet XML: repeated markup with varying numbers.
std::string xmlLikeText(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::string text;
    int row = 1;
    while (text.size() < size) {
        text += "<row r=\"" + std::to_string(row) + "\"><c r=\"A" + std::to_string(row) + "\"><v>" +
                std::to_string(random() % 100000) + "." + std::to_string(random() % 100) +
                "</v></c><c r=\"B" + std::to_string(row) + "\" t=\"s\"><v>" +
                std::to_string(random() % 50) + "</v></c></row>";
        ++row;
    }
    text.resize(size);
    return text;
}

uint32_t read32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
    }
    return value;
}

uint16_t read16(const std::string& bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                 (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

struct Entry {
    std::string name;
    std::string content;
};

std::string archiveOf(const std::vector<Entry>& entries, const ZipWriterOptions& options,
                      bool writeInPieces = false) {
    StringSink sink;
    ZipWriter zip(sink, options);
    for (const Entry& entry : entries) {
        zip.beginEntry(entry.name);
        if (writeInPieces) {
            // Uneven pieces so chunk borders fall everywhere.
            size_t at = 0;
            for (size_t piece = 1; at < entry.content.size(); piece = piece * 3 % 7919 + 1) {
                zip.write(std::string_view(entry.content).substr(at, piece));
                at += piece;
            }
        } else {
            zip.write(entry.content);
        }
        zip.endEntry();
    }
    zip.finish();
    return sink.bytes();
}

TEST(ZipWriter, EntriesReadBackWhateverTheirSizeAndTheThreads) {
    const size_t chunk = 4096;
    const std::vector<Entry> entries = {
        {"empty.xml", ""},
        {"one.xml", "x"},
        {"exactly-one-chunk.xml", xmlLikeText(chunk, 1)},
        {"one-chunk-and-a-byte.xml", xmlLikeText(chunk + 1, 2)},
        {"many-chunks.xml", xmlLikeText(chunk * 37 + 123, 3)},
        {"random.bin", randomBytes(chunk * 5 + 7, 4)},
        {"xl/worksheets/sheet1.xml", xmlLikeText(100000, 5)},
    };
    for (int threads : {0, 1, 2, 5}) {
        for (bool pieces : {false, true}) {
            SCOPED_TRACE("threads " + std::to_string(threads) + (pieces ? ", in pieces" : ""));
            ZipWriterOptions options;
            options.chunkSize = chunk;
            options.threads = threads;
            const auto read = unzipAll(archiveOf(entries, options, pieces));
            ASSERT_EQ(read.size(), entries.size());
            for (const Entry& entry : entries) {
                auto it = read.find(entry.name);
                ASSERT_NE(it, read.end()) << entry.name;
                EXPECT_TRUE(it->second == entry.content) << entry.name;
            }
        }
    }
}

TEST(ZipWriter, ThreadsDoNotChangeTheBytes) {
    // Chunks are compressed independently of which worker takes them, so the archive is the
    // same whether they are deflated inline or by any number of workers.
    const std::vector<Entry> entries = {{"a.xml", xmlLikeText(300000, 7)},
                                        {"b.xml", xmlLikeText(5000, 8)}};
    ZipWriterOptions inlineOptions;
    inlineOptions.chunkSize = 8192;
    inlineOptions.threads = 0;
    const std::string expected = archiveOf(entries, inlineOptions);
    for (int threads : {1, 2, 4}) {
        ZipWriterOptions options = inlineOptions;
        options.threads = threads;
        EXPECT_TRUE(archiveOf(entries, options) == expected) << threads << " threads";
    }
}

TEST(ZipWriter, WriteChunkHandsBuffersBackForReuse) {
    StringSink sink;
    ZipWriterOptions options;
    options.chunkSize = 2048;
    options.threads = 2;
    const std::string content = xmlLikeText(size_t{2048} * 20, 9);
    {
        ZipWriter zip(sink, options);
        zip.beginEntry("s.xml");
        std::string buffer;
        size_t reused = 0;
        for (size_t at = 0; at < content.size(); at += 2048) {
            buffer.assign(content, at, 2048);
            zip.writeChunk(buffer);
            EXPECT_TRUE(buffer.empty());
            reused += buffer.capacity() >= 2048 ? 1 : 0;
        }
        zip.endEntry();
        zip.finish();
        EXPECT_GT(reused, 0u);
    }
    EXPECT_TRUE(unzipAll(sink.bytes()).at("s.xml") == content);
}

TEST(ZipWriter, Zip64RecordsWhenSizesOffsetsOrCountPassTheLimits) {
    struct Case {
        const char* what;
        uint64_t sizeLimit;
        uint64_t countLimit;
        bool expectZip64End;
        bool expectEntryExtra;
    };
    const Case cases[] = {
        {"small archive", 0xFFFFFFFFu, 0xFFFF, false, false},
        {"sizes and offsets past the limit", 1000, 0xFFFF, true, true},
        {"entry count past the limit", 0xFFFFFFFFu, 3, true, false},
    };
    const std::vector<Entry> entries = {{"a.xml", xmlLikeText(5000, 11)},
                                        {"b.xml", xmlLikeText(3000, 12)},
                                        {"c.xml", randomBytes(2500, 13)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ZipWriterOptions options;
        options.zip64Size = c.sizeLimit;
        options.zip64EntryCount = c.countLimit;
        const std::string archive = archiveOf(entries, options);
        const auto read = unzipAll(archive);
        ASSERT_EQ(read.size(), entries.size());
        for (const Entry& entry : entries) {
            EXPECT_TRUE(read.at(entry.name) == entry.content);
        }
        EXPECT_EQ(archive.find("PK\x06\x06") != std::string::npos, c.expectZip64End);
        EXPECT_EQ(archive.find("PK\x06\x07") != std::string::npos, c.expectZip64End);
        // The central header of the last entry: its extra field carries the 64-bit values.
        size_t central = archive.rfind("PK\x01\x02");
        ASSERT_NE(central, std::string::npos);
        const uint16_t extraLength = read16(archive, central + 30);
        EXPECT_EQ(extraLength > 0, c.expectEntryExtra);
        if (c.expectEntryExtra) {
            EXPECT_EQ(read32(archive, central + 20), 0xFFFFFFFFu);  // compressed size
            EXPECT_EQ(read32(archive, central + 24), 0xFFFFFFFFu);  // size
            EXPECT_EQ(read16(archive, central + 46 + 5), 0x0001);   // the ZIP64 extra
        }
    }
}

TEST(ZipWriter, MoreThan65535EntriesReadBack) {
    StringSink sink;
    ZipWriterOptions options;
    options.threads = 0;
    const int count = 70000;
    {
        ZipWriter zip(sink, options);
        for (int i = 0; i < count; ++i) {
            zip.beginEntry("e" + std::to_string(i));
            zip.write(std::to_string(i));
            zip.endEntry();
        }
        zip.finish();
    }
    const auto read = unzipAll(sink.bytes());
    ASSERT_EQ(read.size(), static_cast<size_t>(count));
    EXPECT_EQ(read.at("e0"), "0");
    EXPECT_EQ(read.at("e69999"), "69999");
    // The plain end record can only say "see the ZIP64 record".
    const std::string& bytes = sink.bytes();
    size_t end = bytes.rfind("PK\x05\x06");
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(read16(bytes, end + 10), 0xFFFF);
}

TEST(ZipWriter, DeflatesXmlWithinAThirdOfLevelSix) {
    const std::string text = xmlLikeText(4 << 20, 21);
    ZipWriterOptions options;
    options.threads = 2;
    const std::string archive = archiveOf({{"s.xml", text}}, options);
    uLongf bound = compressBound(static_cast<uLong>(text.size()));
    std::string level6(bound, '\0');
    ASSERT_EQ(
        compress2(reinterpret_cast<Bytef*>(level6.data()), &bound,
                  reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()), 6),
        Z_OK);
    EXPECT_LT(static_cast<double>(archive.size()), 1.3 * static_cast<double>(bound));
    EXPECT_LT(archive.size(), text.size() / 3);
}

class FailingSink : public ByteSink {
public:
    explicit FailingSink(size_t failAfter) : m_left(failAfter) {}
    void write(const char*, size_t size) override {
        if (size > m_left) {
            throw std::runtime_error("disk full");
        }
        m_left -= size;
    }

private:
    size_t m_left;
};

TEST(ZipWriter, SinkFailureStopsWritingAndLeavesNoThreadsBehind) {
    const std::string text = xmlLikeText(1 << 20, 31);
    for (size_t failAfter : {size_t{0}, size_t{100}, size_t{20000}}) {
        for (int threads : {0, 2}) {
            FailingSink sink(failAfter);
            ZipWriterOptions options;
            options.chunkSize = 4096;
            options.threads = threads;
            EXPECT_THROW(
                {
                    ZipWriter zip(sink, options);
                    zip.beginEntry("s.xml");
                    zip.write(text);
                    zip.endEntry();
                    zip.finish();
                },
                std::runtime_error)
                << failAfter << " bytes, " << threads << " threads";
        }
    }
}

TEST(ZipWriter, MisuseIsRefused) {
    StringSink sink;
    ZipWriter zip(sink, {});
    EXPECT_THROW(zip.write("x"), std::logic_error);
    EXPECT_THROW(zip.endEntry(), std::logic_error);
    zip.beginEntry("a");
    EXPECT_THROW(zip.beginEntry("b"), std::logic_error);
    EXPECT_THROW(zip.finish(), std::logic_error);
    zip.endEntry();
    zip.finish();
    EXPECT_THROW(zip.beginEntry("c"), std::logic_error);
}

}  // namespace
}  // namespace plyfold::engine::xlsx
