#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace plyfold::engine::xls {

// Damage found in a workbook stream. what() completes a sentence that begins with the file's
// name in quotes, as the reader's other errors do ("is damaged: ...").
class BiffDamage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr uint16_t kBiffContinue = 0x003C;
// The BOF record of a BIFF5 or BIFF8 substream (the globals, a sheet) and the EOF that ends it.
inline constexpr uint16_t kBof = 0x0809;
inline constexpr uint16_t kEof = 0x000A;

// The number an RK value packs: 30 bits of an integer or of a double's high half, maybe /100.
double rkNumber(uint32_t rk);

// The iconv name of a BIFF code page number.
std::string biffCodePageName(uint16_t codePage);

// Where a formatting run of a text begins (in UTF-16 units) and the FONT index it takes.
struct BiffTextRun {
    uint16_t character = 0;
    uint16_t font = 0;
};

struct BiffRecord {
    uint16_t type = 0;
    std::string_view data;
};

// Walks the records of a workbook stream from an offset, never past the stream's end.
class BiffRecordCursor {
public:
    BiffRecordCursor(std::string_view stream, size_t at) : m_stream(stream), m_at(at) {}

    // The next record; nullopt at the end of the stream, or when a record's header or stated
    // length runs past it (then isCutShort()).
    std::optional<BiffRecord> next();
    // The type of the record next() would give, without moving on.
    std::optional<uint16_t> peekType() const;
    // Consumes the CONTINUE records that follow and appends their data.
    void takeContinues(std::vector<std::string_view>& segments);
    bool isCutShort() const { return m_cutShort; }
    size_t position() const { return m_at; }

private:
    std::string_view m_stream;
    size_t m_at;
    bool m_cutShort = false;
};

// Reads the fields of a record that may go on in CONTINUE records. A BIFF8 string's characters
// may break across records; where they do, the next record begins with a new option byte that
// says whether the rest of the characters are one byte or two bytes wide. Every other field
// runs on byte by byte. Running out throws BiffDamage with the description given.
class BiffContinuedReader {
public:
    BiffContinuedReader(std::vector<std::string_view> segments, std::string damage)
        : m_segments(std::move(segments)), m_damage(std::move(damage)) {}

    bool atEnd();
    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    void skip(uint64_t count);
    // A BIFF8 unicode string whose character count has countBytes (1 or 2) bytes. With
    // formatting, the option byte may announce formatting runs and extended data (as in the
    // shared strings), which are skipped unless runs is given to take the formatting runs.
    enum class Layout { Plain, WithFormatting };
    std::string unicodeString(int countBytes, Layout layout,
                              std::vector<BiffTextRun>* runs = nullptr);
    // Appends count characters as UTF-8, the first ones of the width given.
    void appendCharacters(size_t count, bool wide, std::string& out);

private:
    [[noreturn]] void damaged() const { throw BiffDamage(m_damage); }
    // The bytes left in the current segment, moving to the next one when it is used up.
    size_t available();

    std::vector<std::string_view> m_segments;
    std::string m_damage;
    size_t m_segment = 0;
    size_t m_at = 0;
};

}  // namespace plyfold::engine::xls
