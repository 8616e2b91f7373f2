#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace plyfold::engine::dbf {

struct DbfField {
    std::string name;  // as stored, in the table's code page
    char type = 'C';
    uint32_t offset = 0;  // in the record; byte 0 is the deletion flag
    uint32_t length = 0;
    int decimals = 0;
    bool isSystem = false;  // Visual FoxPro's hidden _NullFlags
    int nullBit = -1;       // Visual FoxPro: bit of _NullFlags set when the value is null
    int varLengthBit = -1;  // Visual FoxPro varchar: bit set when the value is shorter
};

// A dBase table opened through shapelib over bytes in memory. Tables whose header shapelib
// does not read (dBase II, dBase 7) are given to it with the header rewritten in dBase III
// form; the records are the same.
class DbfTable {
public:
    // Throws SpreadsheetError naming displayName when the header cannot be read.
    DbfTable(std::string bytes, const std::string& displayName);
    ~DbfTable();
    DbfTable(const DbfTable&) = delete;
    DbfTable& operator=(const DbfTable&) = delete;

    unsigned char version() const { return m_version; }
    unsigned char languageDriver() const { return m_languageDriver; }
    bool isVisualFoxPro() const;
    bool isDBase7() const { return m_version == 0x04 || m_version == 0x8C; }
    bool hasMemoFields() const;

    const std::vector<DbfField>& fields() const { return m_fields; }
    // Records the file really holds: the header's count, or fewer when the file is shorter.
    int32_t recordCount() const { return m_recordCount; }
    // A record's bytes (byte 0 the deletion flag); empty when it cannot be read.
    std::string_view record(int32_t index);
    bool isDeleted(int32_t index);

private:
    struct Handle;
    void readFields();
    std::string m_bytes;
    std::unique_ptr<Handle> m_handle;
    std::vector<DbfField> m_fields;
    int32_t m_recordCount = 0;
    unsigned char m_version = 0;
    unsigned char m_languageDriver = 0;
};

}  // namespace plyfold::engine::dbf
