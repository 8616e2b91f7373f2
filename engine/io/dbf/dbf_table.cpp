#include "engine/io/dbf/dbf_table.h"

#include <shapefil.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/common/byte_order.h"
#include "engine/common/error.h"
#include "engine/common/file_kind.h"

namespace plyfold::engine::dbf {
namespace {

// shapelib reads through hooks that carry no user data, so the bytes being opened are
// handed to the open hook through this variable, set only during DBFOpenLL.
thread_local std::string_view t_bytesToOpen;
thread_local const char* t_bytesToOpenData = nullptr;

struct MemoryFile {
    const char* data;
    size_t size;
    size_t position;
};

MemoryFile* asMemoryFile(SAFile file) {
    return reinterpret_cast<MemoryFile*>(file);
}

SAFile memoryOpen(const char* name, const char* access) {
    const bool isTable = files::fileTypeOfName(name) == files::FileType::Dbf;
    // Only the table: a .cpg beside it is read by the reader itself; writing is never done.
    if (!isTable || !t_bytesToOpenData || std::strchr(access, 'w') || std::strchr(access, '+')) {
        return nullptr;
    }
    auto* file = new MemoryFile{t_bytesToOpenData, t_bytesToOpen.size(), 0};
    return reinterpret_cast<SAFile>(file);
}

SAOffset memoryRead(void* buffer, SAOffset size, SAOffset count, SAFile handle) {
    MemoryFile* file = asMemoryFile(handle);
    if (size == 0 || file->position >= file->size) {
        return 0;
    }
    size_t wanted = static_cast<size_t>(size) * static_cast<size_t>(count);
    size_t got = std::min(wanted, file->size - file->position);
    std::memcpy(buffer, file->data + file->position, got);
    file->position += got;
    return got / size;
}

SAOffset memoryWrite(void*, SAOffset, SAOffset, SAFile) {
    return 0;
}

SAOffset memorySeek(SAFile handle, SAOffset offset, int whence) {
    MemoryFile* file = asMemoryFile(handle);
    size_t base = whence == SEEK_CUR ? file->position : whence == SEEK_END ? file->size : 0;
    file->position = base + static_cast<size_t>(offset);
    return 0;
}

SAOffset memoryTell(SAFile handle) {
    return asMemoryFile(handle)->position;
}
int memoryFlush(SAFile) {
    return 0;
}

int memoryClose(SAFile handle) {
    delete asMemoryFile(handle);
    return 0;
}

int memoryRemove(const char*) {
    return -1;
}
void quietError(const char*) {}  // failures show as null results, which the reader checks
double plainAtof(const char* text) {
    return std::strtod(text, nullptr);
}

SAHooks memoryHooks() {
    SAHooks hooks{};
    hooks.FOpen = memoryOpen;
    hooks.FRead = memoryRead;
    hooks.FWrite = memoryWrite;
    hooks.FSeek = memorySeek;
    hooks.FTell = memoryTell;
    hooks.FFlush = memoryFlush;
    hooks.FClose = memoryClose;
    hooks.Remove = memoryRemove;
    hooks.Error = quietError;
    hooks.Atof = plainAtof;
    return hooks;
}

void putLe16(std::string& b, size_t at, uint32_t value) {
    b[at] = static_cast<char>(value & 0xFF);
    b[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

std::string fieldName(std::string_view raw) {
    size_t end = raw.find('\0');
    std::string_view name = raw.substr(0, end);
    while (!name.empty() && name.back() == ' ') {
        name.remove_suffix(1);
    }
    return std::string(name);
}

struct ForeignField {
    std::string name;
    char type;
    unsigned char length;
    unsigned char decimals;
};

// A dBase III header for fields of another header layout, followed by the records.
std::string asDBase3(std::string_view original, const std::vector<ForeignField>& fields,
                     uint32_t recordCount, uint32_t recordLength, size_t recordsStart) {
    std::string header(32, '\0');
    header[0] = 0x03;
    header[4] = static_cast<char>(recordCount & 0xFF);
    header[5] = static_cast<char>((recordCount >> 8) & 0xFF);
    header[6] = static_cast<char>((recordCount >> 16) & 0xFF);
    header[7] = static_cast<char>((recordCount >> 24) & 0x7F);
    putLe16(header, 8, static_cast<uint32_t>(32 + 32 * fields.size() + 1));
    putLe16(header, 10, recordLength);
    for (const ForeignField& field : fields) {
        std::string descriptor(32, '\0');
        std::memcpy(descriptor.data(), field.name.data(), std::min<size_t>(field.name.size(), 10));
        descriptor[11] = field.type;
        descriptor[16] = static_cast<char>(field.length);
        descriptor[17] = static_cast<char>(field.decimals);
        header += descriptor;
    }
    header.push_back('\x0D');
    if (recordsStart < original.size()) {
        header.append(original.substr(recordsStart));
    }
    return header;
}

[[noreturn]] void throwDamaged(const std::string& displayName, const std::string& what) {
    throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                           "'" + displayName + "' cannot be read as a dBase table: " + what + ".");
}

// dBase II: a 521-byte header with 16-byte field descriptors.
std::string fromDBase2(std::string_view b, const std::string& displayName,
                       std::vector<ForeignField>& fields) {
    if (b.size() < 8) {
        throwDamaged(displayName, "the header is cut short");
    }
    uint32_t recordCount = le16(b, 1);
    uint32_t recordLength = le16(b, 6);
    for (size_t at = 8; at + 16 <= b.size() && at < 8 + 32 * 16 && b[at] != 0x0D; at += 16) {
        fields.push_back({fieldName(b.substr(at, 11)), b[at + 11],
                          static_cast<unsigned char>(b[at + 12]),
                          static_cast<unsigned char>(b[at + 15])});
    }
    return asDBase3(b, fields, recordCount, recordLength, 521);
}

// dBase 7: a 68-byte header and 48-byte field descriptors with 32-byte names.
std::string fromDBase7(std::string_view b, const std::string& displayName,
                       std::vector<ForeignField>& fields) {
    if (b.size() < 68) {
        throwDamaged(displayName, "the header is cut short");
    }
    uint32_t recordCount = le32(b, 4);
    uint32_t headerLength = le16(b, 8);
    uint32_t recordLength = le16(b, 10);
    for (size_t at = 68; at + 48 <= b.size() && at + 48 <= headerLength && b[at] != 0x0D;
         at += 48) {
        fields.push_back({fieldName(b.substr(at, 32)), b[at + 32],
                          static_cast<unsigned char>(b[at + 33]),
                          static_cast<unsigned char>(b[at + 34])});
    }
    return asDBase3(b, fields, recordCount, recordLength, headerLength);
}

}  // namespace

struct DbfTable::Handle {
    DBFHandle dbf = nullptr;
    ~Handle() {
        if (dbf) {
            DBFClose(dbf);
        }
    }
};

DbfTable::DbfTable(std::string bytes, const std::string& displayName) {
    if (bytes.size() < 32) {
        throwDamaged(displayName, "the file is too short to hold a header");
    }
    m_version = static_cast<unsigned char>(bytes[0]);
    m_languageDriver = static_cast<unsigned char>(bytes[29]);
    std::vector<ForeignField> foreign;
    if (m_version == 0x02) {
        m_bytes = fromDBase2(bytes, displayName, foreign);
        m_languageDriver = 0;
    } else if (isDBase7()) {
        m_bytes = fromDBase7(bytes, displayName, foreign);
    } else {
        m_bytes = std::move(bytes);
    }

    SAHooks hooks = memoryHooks();
    t_bytesToOpen = m_bytes;
    t_bytesToOpenData = m_bytes.data();
    m_handle = std::make_unique<Handle>();
    m_handle->dbf = DBFOpenLL("table.dbf", "rb", &hooks);
    t_bytesToOpen = {};
    t_bytesToOpenData = nullptr;
    if (!m_handle->dbf) {
        throwDamaged(displayName, "its header or field list is damaged");
    }
    readFields();
    for (size_t i = 0; i < foreign.size() && i < m_fields.size(); ++i) {
        m_fields[i].name = foreign[i].name;  // dBase 7 names may be longer than 10 characters
    }

    DBFHandle dbf = m_handle->dbf;
    int64_t available = 0;
    if (dbf->nRecordLength > 0 && m_bytes.size() > static_cast<size_t>(dbf->nHeaderLength)) {
        available = static_cast<int64_t>(m_bytes.size() - static_cast<size_t>(dbf->nHeaderLength)) /
                    dbf->nRecordLength;
    }
    const int64_t promised = std::max(dbf->nRecords, 0);
    m_recordCount = static_cast<int32_t>(std::min<int64_t>(promised, available));

    // A file cut short keeps the records it still holds; but a header whose length puts the
    // records where there are none, or well past the end of its list of fields, lies, and
    // reading on would give an empty or shifted table.
    if (promised > 0 && m_recordCount == 0) {
        throwDamaged(displayName, "its header says it holds " + std::to_string(promised) +
                                      " records, but none lies where the header says they start");
    }
    const size_t fieldsEnd = 32 + 32 * static_cast<size_t>(dbf->nFields);
    const bool terminated = fieldsEnd < m_bytes.size() && m_bytes[fieldsEnd] == '\x0D';
    // Visual FoxPro keeps 263 bytes after the fields; some writers add a byte of padding.
    constexpr int64_t kMostAfterFields = 1 + 263 + 1;
    if (terminated && m_recordCount < promised &&
        dbf->nHeaderLength > static_cast<int64_t>(fieldsEnd) + kMostAfterFields) {
        throwDamaged(displayName, "its header says it is " + std::to_string(dbf->nHeaderLength) +
                                      " bytes long, but its list of fields ends after " +
                                      std::to_string(fieldsEnd + 1));
    }
}

DbfTable::~DbfTable() = default;

void DbfTable::readFields() {
    DBFHandle dbf = m_handle->dbf;
    const int count = DBFGetFieldCount(dbf);
    const bool foxPro = isVisualFoxPro() || m_version == 0xF5 || m_version == 0xFB;
    int64_t wideTotal = 0;
    for (int i = 0; i < count; ++i) {
        char name[XBASE_FLDNAME_LEN_READ + 1] = {};
        int width = 0;
        int decimals = 0;
        DBFGetFieldInfo(dbf, i, name, &width, &decimals);
        const auto* descriptor =
            reinterpret_cast<const unsigned char*>(dbf->pszHeader) + 32 * static_cast<size_t>(i);
        DbfField field;
        field.name = fieldName(std::string_view(name, std::strlen(name)));
        field.type = DBFGetNativeFieldType(dbf, i);
        field.offset = static_cast<uint32_t>(dbf->panFieldOffset[i]);
        field.length = static_cast<uint32_t>(width);
        field.decimals = decimals;
        if (isVisualFoxPro()) {
            field.isSystem = (descriptor[18] & 0x01) != 0;
        }
        wideTotal += field.type == 'C' ? descriptor[16] + descriptor[17] * 256 : width;
        m_fields.push_back(field);
    }
    // FoxPro and Clipper store character fields longer than 255 with the high byte of the
    // length in the decimals byte; take it when the lengths then fill the record exactly.
    int64_t plainTotal = 0;
    for (const DbfField& f : m_fields) {
        plainTotal += f.length;
    }
    if (foxPro || m_version == 0x03) {
        if (wideTotal != plainTotal && wideTotal + 1 == dbf->nRecordLength) {
            uint32_t offset = 1;
            for (int i = 0; i < count; ++i) {
                const auto* descriptor = reinterpret_cast<const unsigned char*>(dbf->pszHeader) +
                                         32 * static_cast<size_t>(i);
                DbfField& field = m_fields[static_cast<size_t>(i)];
                if (field.type == 'C') {
                    field.length = descriptor[16] + descriptor[17] * 256u;
                    field.decimals = 0;
                }
                field.offset = offset;
                offset += field.length;
            }
        }
    }
    if (isVisualFoxPro()) {
        int bit = 0;
        for (size_t i = 0; i < m_fields.size(); ++i) {
            const auto* descriptor =
                reinterpret_cast<const unsigned char*>(dbf->pszHeader) + 32 * i;
            DbfField& field = m_fields[i];
            if (field.isSystem) {
                continue;
            }
            if (field.type == 'V' || field.type == 'Q') {
                field.varLengthBit = bit++;
            }
            if (descriptor[18] & 0x02) {
                field.nullBit = bit++;
            }
        }
    }
}

bool DbfTable::isVisualFoxPro() const {
    return m_version == 0x30 || m_version == 0x31 || m_version == 0x32;
}

bool DbfTable::hasMemoFields() const {
    return std::any_of(m_fields.begin(), m_fields.end(),
                       [](const DbfField& f) { return f.type == 'M'; });
}

std::string_view DbfTable::record(int32_t index) {
    if (index < 0 || index >= m_recordCount) {
        return {};
    }
    const char* tuple = DBFReadTuple(m_handle->dbf, index);
    if (!tuple) {
        return {};
    }
    return {tuple, static_cast<size_t>(m_handle->dbf->nRecordLength)};
}

bool DbfTable::isDeleted(int32_t index) {
    return DBFIsRecordDeleted(m_handle->dbf, index) != 0;
}

}  // namespace plyfold::engine::dbf
