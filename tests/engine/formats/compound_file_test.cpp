// The compound-file reader: whole files in memory for the .xls reader, and a look at the
// directory of a file read piece by piece for the .xlsx reader's diagnosis of a non-zip file.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "engine/common/error.h"
#include "engine/io/compound/compound_file.h"
#include "engine/io/xls/xls_reader.h"
#include "engine/io/xlsx/ole_probe.h"
#include "engine/io/xlsx/xlsx_reader.h"

namespace plyfold::engine::compound {
namespace {

constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kEnd = 0xFFFFFFFE;
constexpr uint32_t kFatMark = 0xFFFFFFFD;
constexpr uint32_t kDifatMark = 0xFFFFFFFC;

void put16(std::string& b, size_t at, uint32_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8 & 0xFF);
}

void put32(std::string& b, size_t at, uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

std::string pattern(size_t size, char seed) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        text[i] = static_cast<char>(seed + i * 7 + i / 251);
    }
    return text;
}

// Writes a well-formed compound file of the streams given, as a spreadsheet program lays it
// out: big streams in sectors of their own, small ones in the mini stream, then the mini
// table, the directory, the allocation table and, past 109 table sectors, the table's list.
// The test then changes whatever it wants to see damaged.
class CompoundBuilder {
public:
    explicit CompoundBuilder(int shift = 9) : m_shift(shift), m_sectorSize(1u << shift) {}

    CompoundBuilder& stream(std::string name, std::string content) {
        m_streams.push_back({std::move(name), std::move(content)});
        return *this;
    }
    // Free sectors before the directory, to put it as far into the file as a test needs.
    CompoundBuilder& freeSectorsBeforeDirectory(uint32_t count) {
        m_padding = count;
        return *this;
    }

    std::string build() {
        std::vector<uint32_t> starts;
        std::string mini;
        std::vector<uint32_t> miniFat;
        for (const auto& [name, content] : m_streams) {
            if (content.size() >= 4096) {
                starts.push_back(place(content));
            } else {
                starts.push_back(content.empty() ? kEnd : miniChain(mini, miniFat, content));
            }
        }
        const uint32_t miniStart = mini.empty() ? kEnd : place(mini);
        std::string miniTable;
        for (uint32_t entry : miniFat) {
            miniTable.append(4, '\0');
            put32(miniTable, miniTable.size() - 4, entry);
        }
        // Unused entries of the mini table are free, as in the allocation table.
        miniTable.resize((miniTable.size() + m_sectorSize - 1) / m_sectorSize * m_sectorSize,
                         '\xFF');
        const uint32_t miniFatStart = miniTable.empty() ? kEnd : place(miniTable);
        m_sectors.resize(m_sectors.size() + m_padding, std::string(m_sectorSize, '\0'));
        m_fat.resize(m_sectors.size(), kFree);
        std::string directory = entry("Root Entry", 5, miniStart, mini.size());
        for (size_t i = 0; i < m_streams.size(); ++i) {
            directory += entry(m_streams[i].first, 2, starts[i], m_streams[i].second.size());
        }
        m_directoryStart = place(directory);
        placeTables();
        return assemble(miniFatStart, static_cast<uint32_t>(miniFat.empty() ? 0 : 1));
    }

    uint32_t directoryStart() const { return m_directoryStart; }
    uint64_t offsetOfSector(uint32_t s) const { return (uint64_t{s} + 1) * m_sectorSize; }
    // Where the allocation-table entry of sector s lies in the built file.
    uint64_t offsetOfFatEntry(uint32_t s) const {
        const uint32_t perSector = m_sectorSize / 4;
        return offsetOfSector(m_fatSectors[s / perSector]) + uint64_t{4} * (s % perSector);
    }
    // Where directory entry i (0 is the root) lies in the built file.
    uint64_t offsetOfEntry(uint32_t i) const {
        return offsetOfSector(m_directoryStart + i / (m_sectorSize / 128)) +
               uint64_t{128} * (i % (m_sectorSize / 128));
    }
    size_t difatSectors() const { return m_difatSectors.size(); }

private:
    // Sectors for the content, chained in the allocation table; the number of the first.
    uint32_t place(const std::string& content) {
        const auto first = static_cast<uint32_t>(m_sectors.size());
        for (size_t at = 0; at < content.size(); at += m_sectorSize) {
            std::string sector = content.substr(at, m_sectorSize);
            sector.resize(m_sectorSize, '\0');
            m_sectors.push_back(std::move(sector));
        }
        m_fat.resize(m_sectors.size(), kFree);
        for (uint32_t s = first; s < m_sectors.size(); ++s) {
            m_fat[s] = s + 1 == m_sectors.size() ? kEnd : s + 1;
        }
        return first;
    }

    static uint32_t miniChain(std::string& mini, std::vector<uint32_t>& miniFat,
                              const std::string& content) {
        const auto first = static_cast<uint32_t>(mini.size() / 64);
        std::string padded = content;
        padded.resize((content.size() + 63) / 64 * 64, '\0');
        mini += padded;
        for (uint32_t s = first; s < mini.size() / 64; ++s) {
            miniFat.push_back(s + 1 == mini.size() / 64 ? kEnd : s + 1);
        }
        return first;
    }

    std::string entry(const std::string& name, uint8_t type, uint32_t start, uint64_t size) const {
        std::string e(128, '\0');
        for (size_t i = 0; i < name.size(); ++i) {
            put16(e, 2 * i, static_cast<unsigned char>(name[i]));
        }
        put16(e, 64, static_cast<uint32_t>(2 * name.size() + 2));
        e[66] = static_cast<char>(type);
        put32(e, 68, kFree);
        put32(e, 72, kFree);
        put32(e, 76, kFree);
        put32(e, 116, start);
        put32(e, 120, static_cast<uint32_t>(size));
        if (m_shift == 12) {
            put32(e, 124, static_cast<uint32_t>(size >> 32));
        }
        return e;
    }

    // The allocation table and its list, at the end: as many sectors as cover them too.
    void placeTables() {
        const uint32_t perSector = m_sectorSize / 4;
        const size_t data = m_sectors.size();
        size_t fatCount = 0;
        size_t difatCount = 0;
        for (;;) {
            const size_t total = data + fatCount + difatCount;
            const size_t needFat = (total + perSector - 1) / perSector;
            const size_t needDifat =
                needFat > 109 ? (needFat - 109 + perSector - 2) / (perSector - 1) : 0;
            if (needFat == fatCount && needDifat == difatCount) {
                break;
            }
            fatCount = needFat;
            difatCount = needDifat;
        }
        for (size_t i = 0; i < fatCount; ++i) {
            m_fatSectors.push_back(static_cast<uint32_t>(m_sectors.size()));
            m_sectors.emplace_back(m_sectorSize, '\0');
        }
        for (size_t i = 0; i < difatCount; ++i) {
            m_difatSectors.push_back(static_cast<uint32_t>(m_sectors.size()));
            m_sectors.emplace_back(m_sectorSize, '\0');
        }
        m_fat.resize(fatCount * perSector, kFree);
        for (uint32_t s : m_fatSectors) {
            m_fat[s] = kFatMark;
        }
        for (uint32_t s : m_difatSectors) {
            m_fat[s] = kDifatMark;
        }
        for (size_t i = 0; i < fatCount; ++i) {
            for (uint32_t j = 0; j < perSector; ++j) {
                put32(m_sectors[m_fatSectors[i]], size_t{4} * j, m_fat[i * perSector + j]);
            }
        }
        for (size_t i = 0; i < difatCount; ++i) {
            std::string& sector = m_sectors[m_difatSectors[i]];
            for (uint32_t j = 0; j + 1 < perSector; ++j) {
                const size_t listed = 109 + i * (perSector - 1) + j;
                put32(sector, size_t{4} * j, listed < fatCount ? m_fatSectors[listed] : kFree);
            }
            put32(sector, m_sectorSize - 4, i + 1 < difatCount ? m_difatSectors[i + 1] : kEnd);
        }
    }

    std::string assemble(uint32_t miniFatStart, uint32_t miniFatCount) const {
        std::string header(m_sectorSize, '\0');
        header.replace(0, 8, kSignature);
        put16(header, 24, 0x3E);
        put16(header, 26, m_shift == 12 ? 4 : 3);
        put16(header, 28, 0xFFFE);
        put16(header, 30, static_cast<uint32_t>(m_shift));
        put16(header, 32, 6);
        put32(header, 44, static_cast<uint32_t>(m_fatSectors.size()));
        put32(header, 48, m_directoryStart);
        put32(header, 56, 4096);
        put32(header, 60, miniFatStart);
        put32(header, 64, miniFatCount);
        put32(header, 68, m_difatSectors.empty() ? kEnd : m_difatSectors.front());
        put32(header, 72, static_cast<uint32_t>(m_difatSectors.size()));
        for (size_t i = 0; i < 109; ++i) {
            put32(header, 76 + 4 * i, i < m_fatSectors.size() ? m_fatSectors[i] : kFree);
        }
        std::string file = header;
        for (const std::string& sector : m_sectors) {
            file += sector;
        }
        return file;
    }

    int m_shift;
    uint32_t m_sectorSize;
    uint32_t m_padding = 0;
    std::vector<std::pair<std::string, std::string>> m_streams;
    std::vector<std::string> m_sectors;
    std::vector<uint32_t> m_fat;
    std::vector<uint32_t> m_fatSectors;
    std::vector<uint32_t> m_difatSectors;
    uint32_t m_directoryStart = kEnd;
};

// Reads from memory, counts the bytes asked for and notes a request past the end.
struct CountingReader {
    std::string_view bytes;
    uint64_t asked = 0;
    bool pastTheEnd = false;

    ReadAt reader() {
        return [this](uint64_t offset, char* buffer, size_t n) -> size_t {
            asked += n;
            pastTheEnd = pastTheEnd || offset + n > bytes.size();
            if (offset >= bytes.size()) {
                return 0;
            }
            const size_t count = std::min<size_t>(n, bytes.size() - offset);
            std::copy_n(bytes.data() + offset, count, buffer);
            return count;
        };
    }
};

std::vector<std::string> listedNames(const std::string& bytes, uint64_t maxSectors = 4096) {
    CountingReader source{bytes};
    auto entries = readDirectory(source.reader(), bytes.size(), maxSectors);
    EXPECT_FALSE(source.pastTheEnd);
    std::vector<std::string> names;
    if (entries) {
        for (const DirectoryEntry& entry : *entries) {
            names.push_back(entry.name);
        }
    }
    return names;
}

TEST(CompoundFile, StreamsComeFromTheMiniStreamOrFromSectorsBySize) {
    for (int shift : {9, 12}) {
        SCOPED_TRACE(shift);
        CompoundBuilder builder(shift);
        const std::vector<std::pair<std::string, std::string>> streams = {
            {"Small", pattern(100, 'a')},
            {"JustUnder", pattern(4095, 'b')},
            {"AtCutoff", pattern(4096, 'c')},
            {"Big", pattern(70000, 'd')},
            {"Empty", ""},
            {"Tiny", "x"},
        };
        for (const auto& [name, content] : streams) {
            builder.stream(name, content);
        }
        const std::string bytes = builder.build();
        const CompoundFile file(bytes);
        std::vector<std::string> names = {"Root Entry"};
        for (const auto& [name, content] : streams) {
            names.push_back(name);
            EXPECT_EQ(file.readStream({name}), content) << name;
        }
        // Seven entries take two directory sectors of 512 bytes.
        EXPECT_EQ(file.entryNames(), names);
        EXPECT_EQ(listedNames(bytes), names);
        EXPECT_TRUE(file.hasEntry("bIG"));
        EXPECT_FALSE(file.hasEntry("Bigger"));
        EXPECT_EQ(file.readStream({"Missing", "small"}), streams[0].second);
        EXPECT_EQ(file.readStream({"Missing"}), std::nullopt);
        EXPECT_EQ(file.readStream({"Root Entry"}), std::nullopt);  // not a stream
    }
}

TEST(CompoundFile, StreamSizesUseTheHighHalfOnlyWithLargeSectors) {
    CompoundBuilder small(9);
    std::string bytes = small.stream("S", pattern(5000, 's')).build();
    put32(bytes, small.offsetOfEntry(1) + 124, 0xFFFFFFFF);  // junk that some writers leave
    EXPECT_EQ(CompoundFile(bytes).readStream({"S"}), pattern(5000, 's'));

    CompoundBuilder large(12);
    bytes = large.stream("S", pattern(5000, 's')).build();
    put32(bytes, large.offsetOfEntry(1) + 124, 1);
    EXPECT_THROW(CompoundFile(bytes).readStream({"S"}), CompoundDamage);
}

// Tables beyond the 109 the header lists: the directory sits past them, so finding its chain
// takes the list's next sector.
TEST(CompoundFile, AllocationTablesListedBeyondTheHeader) {
    CompoundBuilder builder;
    const std::string bytes =
        builder.stream("Data", pattern(5000, 'q')).freeSectorsBeforeDirectory(109 * 128).build();
    ASSERT_EQ(builder.difatSectors(), 1u);
    ASSERT_GT(builder.directoryStart(), 109u * 128);
    EXPECT_EQ(CompoundFile(bytes).readStream({"Data"}), pattern(5000, 'q'));

    // The look at the directory reads the header, the list's sector, the directory's sector
    // and one table entry: not the 7 MB of the file.
    CountingReader source{bytes};
    auto entries = readDirectory(source.reader(), bytes.size(), 4096);
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->size(), 2u);
    EXPECT_EQ(source.asked, 512u + 512 + 512 + 4);
}

TEST(CompoundFile, DamageIsReportedAndNothingIsReadPastTheFile) {
    CompoundBuilder builder;
    const std::string good =
        builder.stream("Small", pattern(100, 'a')).stream("Big", pattern(9000, 'b')).build();
    const uint32_t directory = builder.directoryStart();
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        bool opens;          // the constructor succeeds
        bool streamsRead;    // both streams read back when it does
        size_t namesListed;  // entries the directory look gives
    };
    const Case cases[] = {
        {"the directory's chain loops",
         [&](std::string& b) { put32(b, builder.offsetOfFatEntry(directory), directory); }, false,
         false, size_t{4} * 3},
        {"the directory starts beyond the file", [&](std::string& b) { put32(b, 48, 100000); },
         false, false, 0},
        {"the directory starts at a special sector number",
         [&](std::string& b) { put32(b, 48, 0xFFFFFFFB); }, false, false, 0},
        {"the root's mini stream is larger than the file",
         [&](std::string& b) { put32(b, builder.offsetOfEntry(0) + 120, 0xFFFFFF00); }, false,
         false, 3},
        {"a big stream is larger than the file",
         [&](std::string& b) { put32(b, builder.offsetOfEntry(2) + 120, 0xFFFFFF00); }, true, false,
         3},
        {"a small stream is larger than the mini stream",
         [&](std::string& b) { put32(b, builder.offsetOfEntry(1) + 120, 4000); }, true, false, 3},
        {"a stream starts beyond the file",
         [&](std::string& b) { put32(b, builder.offsetOfEntry(2) + 116, 0x00FFFFFF); }, true, false,
         3},
        {"a table sector lies beyond the file", [&](std::string& b) { put32(b, 76 + 4, 500); },
         false, false, 3},
        {"the header lists more table sectors than the file has",
         [](std::string& b) {
             for (size_t i = 1; i < 109; ++i) {
                 put32(b, 76 + 4 * i, 0);
             }
         },
         false, false, 3},
        {"the table's list loops onto itself",
         [&](std::string& b) {
             put32(b, 68, 0);
             b.replace(builder.offsetOfSector(0), 508, 508, '\xFF');
             put32(b, builder.offsetOfSector(0) + 508, 0);
         },
         false, false, 3},
        {"the table's list goes on into a last sector cut to two bytes",
         [&](std::string& b) {
             put32(b, 68, static_cast<uint32_t>(b.size() / 512 - 1));
             b.append(2, '\x01');
         },
         false, false, 3},
        {"the mini sector size is not 64 bytes", [](std::string& b) { put16(b, 32, 7); }, false,
         false, 3},
        {"the sector size is impossible", [](std::string& b) { put16(b, 30, 10); }, false, false,
         0},
        {"the file is cut inside its header", [](std::string& b) { b.resize(500); }, false, false,
         0},
        {"the file is cut after the directory",
         [&](std::string& b) { b.resize(builder.offsetOfSector(directory + 1)); }, false, false, 3},
        {"the file's last sector is not padded", [](std::string& b) { b.resize(b.size() - 100); },
         true, true, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        c.damage(bytes);
        if (c.opens) {
            const CompoundFile file(bytes);
            if (c.streamsRead) {
                EXPECT_EQ(file.readStream({"Small"}), pattern(100, 'a'));
                EXPECT_EQ(file.readStream({"Big"}), pattern(9000, 'b'));
            } else {
                EXPECT_THROW(
                    {
                        file.readStream({"Small"});
                        file.readStream({"Big"});
                    },
                    CompoundDamage);
            }
        } else {
            EXPECT_THROW(CompoundFile{bytes}, CompoundDamage);
        }
        EXPECT_EQ(listedNames(bytes, 4).size(), c.namesListed);
        // Through the .xls reader: a failure that names the file, never a crash.
        try {
            xls::readXlsFromMemory(bytes, "damaged.xls");
        } catch (const SpreadsheetError& error) {
            EXPECT_NE(error.description().find("'damaged.xls'"), std::string::npos);
        }
    }
}

TEST(CompoundFile, TheDirectoryLookReadsNoMoreSectorsThanItIsAllowed) {
    CompoundBuilder builder;
    std::string bytes = builder.stream("Big", pattern(1 << 20, 'z')).build();
    CountingReader whole{bytes};
    ASSERT_TRUE(readDirectory(whole.reader(), bytes.size(), 4096));
    EXPECT_EQ(whole.asked, 512u + 512 + 4);  // header, directory sector, its table entry

    put32(bytes, builder.offsetOfFatEntry(builder.directoryStart()), builder.directoryStart());
    CountingReader looping{bytes};
    auto entries = readDirectory(looping.reader(), bytes.size(), 10);
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->size(), 2u * 10);
    EXPECT_EQ(looping.asked, 512u + 10 * (512 + 4));
}

TEST(OleProbe, EncryptedPackagesAreToldFromOtherCompoundFiles) {
    using xlsx_read::OleContent;
    struct Case {
        std::vector<const char*> streams;
        OleContent content;
    };
    const Case cases[] = {
        {{"EncryptionInfo", "EncryptedPackage"}, OleContent::Encrypted},
        {{"\x06"
          "DataSpaces",
          "EncryptedPackage", "EncryptionInfo"},
         OleContent::Encrypted},
        {{"EncryptionInfo"}, OleContent::Other},
        {{"EncryptedPackage"}, OleContent::Other},
        {{"Workbook"}, OleContent::Other},
    };
    for (const Case& c : cases) {
        CompoundBuilder builder;
        for (const char* name : c.streams) {
            builder.stream(name, pattern(200, 'e'));
        }
        const std::string bytes = builder.build();
        CountingReader source{bytes};
        EXPECT_EQ(xlsx_read::probeOle(source.reader(), bytes.size()), c.content) << c.streams[0];
    }
    for (const std::string& other :
         {std::string("PK\x03\x04", 4), std::string(600, '\0'), std::string(kSignature)}) {
        CountingReader source{other};
        EXPECT_EQ(xlsx_read::probeOle(source.reader(), other.size()), OleContent::NotOle);
    }
}

TEST(OleProbe, ReadersSayAnEncryptedPackageIsProtectedByAPassword) {
    const std::string bytes = CompoundBuilder()
                                  .stream("EncryptionInfo", pattern(300, 'i'))
                                  .stream("EncryptedPackage", pattern(5000, 'p'))
                                  .build();
    for (const auto& read : {std::function([&] { readXlsxFromMemory(bytes, "locked.xlsx"); }),
                             std::function([&] { xls::readXlsFromMemory(bytes, "locked.xls"); })}) {
        try {
            read();
            ADD_FAILURE() << "read an encrypted package";
        } catch (const SpreadsheetError& error) {
            EXPECT_NE(error.description().find("protected by a password"), std::string::npos)
                << error.description();
        }
    }
}

}  // namespace
}  // namespace plyfold::engine::compound
