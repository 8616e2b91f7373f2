#include "engine/io/xlsx/zip_package.h"

#include <zip.h>

#include <algorithm>
#include <exception>
#include <new>
#include <utility>

#include "engine/common/file_access.h"
#include "engine/io/xlsx/deflate.h"
#include "engine/io/xlsx/ole_probe.h"
#include "engine/io/xlsx/read_failure.h"

namespace plyfold::engine::xlsx_read {
namespace {

std::string errorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

std::string megabytes(uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MB";
}

[[noreturn]] void failNotZip(OleContent ole) {
    switch (ole) {
        case OleContent::Encrypted:
            fail(FailureKind::Encrypted, "the workbook is protected by a password");
        case OleContent::Other:
            fail(FailureKind::NotPackage,
                 "it is an OLE compound file (such as an Excel 97-2003 workbook), not an Office "
                 "Open XML package");
        case OleContent::NotOle:
            break;
    }
    fail(FailureKind::NotPackage, "it is not an Office Open XML package (not a zip archive)");
}

// A file that begins as a zip archive (a local header, or an empty archive's end record).
bool beginsAsZip(std::string_view firstBytes) {
    return firstBytes.starts_with(std::string_view("PK\x03\x04", 4)) ||
           firstBytes.starts_with(std::string_view("PK\x05\x06", 4));
}

// libzip finds no archive in a file that lacks the end record its directory hangs on: when
// the file begins as an archive, it was cut short or damaged, not of another kind.
[[noreturn]] void failOpen(int code, OleContent ole, std::string_view firstBytes) {
    switch (code) {
        case ZIP_ER_NOZIP:
            if (beginsAsZip(firstBytes)) {
                fail(FailureKind::NotPackage,
                     "the workbook is truncated or damaged (it begins as a zip archive, but the "
                     "archive's end record is missing)");
            }
            failNotZip(ole);
        case ZIP_ER_MEMORY:
            throw std::bad_alloc();
        case ZIP_ER_OPEN:
        case ZIP_ER_READ:
            fail(FailureKind::Unreadable, errorText(code));
        case ZIP_ER_MULTIDISK:
            fail(FailureKind::NotPackage, "it is an archive split over several files");
        default:
            fail(FailureKind::NotPackage, "the archive is damaged (" + errorText(code) + ")");
    }
}

}  // namespace

// What libzip reads a file through: the open file and the position in it. A failure of the
// file is kept here, for the package to throw once libzip has given up, since no exception
// may cross libzip's frames.
struct ZipPackage::FileState {
    std::shared_ptr<const files::InputFile> file;
    uint64_t offset = 0;
    zip_error_t error;
    std::exception_ptr failure;
};

namespace {

zip_int64_t readFileSource(void* userdata, void* data, zip_uint64_t length,
                           zip_source_cmd_t command) {
    auto* state = static_cast<ZipPackage::FileState*>(userdata);
    const uint64_t size = state->file->size();
    switch (command) {
        case ZIP_SOURCE_OPEN:
            state->offset = 0;
            return 0;
        case ZIP_SOURCE_READ:
            try {
                size_t count = state->file->readAt(state->offset, static_cast<char*>(data),
                                                   static_cast<size_t>(length));
                state->offset += count;
                return static_cast<zip_int64_t>(count);
            } catch (const files::FileError& failure) {
                state->failure = std::current_exception();
                zip_error_set(&state->error, ZIP_ER_READ, failure.systemError());
                return -1;
            } catch (const std::bad_alloc&) {
                state->failure = std::current_exception();
                zip_error_set(&state->error, ZIP_ER_MEMORY, 0);
                return -1;
            }
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &state->error);
            if (!stat) {
                return -1;
            }
            zip_stat_init(stat);
            stat->size = size;
            stat->valid |= ZIP_STAT_SIZE;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&state->error, data, length);
        case ZIP_SOURCE_FREE:
            zip_error_fini(&state->error);
            delete state;
            return 0;
        case ZIP_SOURCE_SEEK: {
            zip_int64_t offset =
                zip_source_seek_compute_offset(state->offset, size, data, length, &state->error);
            if (offset < 0) {
                return -1;
            }
            state->offset = static_cast<uint64_t>(offset);
            return 0;
        }
        case ZIP_SOURCE_TELL:
            return static_cast<zip_int64_t>(state->offset);
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(
                ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL,
                ZIP_SOURCE_SUPPORTS, -1);
        default:
            zip_error_set(&state->error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

}  // namespace

void ZipPackage::rethrowFileFailure() {
    if (m_file && m_file->failure) {
        std::rethrow_exception(std::exchange(m_file->failure, nullptr));
    }
}

// One part read front to back. Deflated entries are read as stored and inflated here, with
// their CRC and size checked at the end; libzip reads stored entries (checking their CRC)
// and decodes those of any other method.
class ZipPartSource : public ByteSource {
public:
    enum class Coding { Deflated, ByLibzip };
    struct Entry {
        std::string name;
        Coding coding = Coding::ByLibzip;
        bool sizesKnown = false;
        uint64_t compressedSize = 0;
        uint64_t declaredSize = 0;
        uint32_t crc = 0;
    };

    ZipPartSource(ZipPackage& package, zip_file_t* file, Entry entry, uint64_t maxBytes)
        : m_package(package), m_file(file), m_entry(std::move(entry)), m_maxBytes(maxBytes) {
        if (m_entry.coding == Coding::Deflated) {
            m_inflater = std::make_unique<xlsx::Inflater>();
        }
    }
    ~ZipPartSource() override { zip_fclose(m_file); }

    size_t read(char* buffer, size_t capacity) override {
        if (capacity == 0) {
            return 0;
        }
        const uint64_t count = produce(buffer, capacity);
        m_read += count;
        m_package.m_inflatedBytes += count;
        if (m_entry.sizesKnown && m_read > m_entry.declaredSize) {
            fail(FailureKind::Damaged, "it holds more data than the archive says");
        }
        if (m_read > m_maxBytes) {
            fail(FailureKind::TooLarge,
                 "the part " + m_entry.name + " expands to more than " + megabytes(m_maxBytes));
        }
        if (m_entry.sizesKnown && m_read > kRatioCheckFloor &&
            m_read / std::max<uint64_t>(m_entry.compressedSize, 1) > kMaxCompressionRatio) {
            fail(FailureKind::TooLarge, "the part " + m_entry.name + " expands more than " +
                                            std::to_string(kMaxCompressionRatio) +
                                            " times over, which only a zip bomb does");
        }
        if (m_package.m_inflatedBytes > kMaxPackageBytes) {
            fail(FailureKind::TooLarge,
                 "the workbook expands to more than " + megabytes(kMaxPackageBytes));
        }
        return static_cast<size_t>(count);
    }

private:
    // Compressed bytes are read from the archive in pieces of this size.
    static constexpr size_t kInputPiece = size_t{128} * 1024;

    size_t produce(char* buffer, size_t capacity) {
        switch (m_entry.coding) {
            case Coding::ByLibzip:
                return readFromArchive(buffer, capacity);
            case Coding::Deflated:
                return inflate(buffer, capacity);
        }
        return 0;
    }

    // Reads the entry's bytes as libzip gives them: as stored, or decoded by libzip.
    size_t readFromArchive(char* buffer, size_t capacity) {
        zip_int64_t n = zip_fread(m_file, buffer, capacity);
        if (n < 0) {
            m_package.rethrowFileFailure();
            fail(FailureKind::Damaged, zip_error_strerror(zip_file_get_error(m_file)));
        }
        return static_cast<size_t>(n);
    }

    size_t inflate(char* buffer, size_t capacity) {
        if (m_finished) {
            return 0;
        }
        for (;;) {
            if (m_inputAt == m_input.size() && !m_inputEnded) {
                m_input.resize(static_cast<size_t>(
                    std::clamp<uint64_t>(m_entry.compressedSize, 1, kInputPiece)));
                m_input.resize(readFromArchive(m_input.data(), m_input.size()));
                m_inputAt = 0;
                m_inputEnded = m_input.empty();
            }
            xlsx::Inflater::Step step;
            try {
                step = m_inflater->inflate(std::string_view(m_input).substr(m_inputAt), buffer,
                                           capacity);
            } catch (const xlsx::DeflateError& error) {
                fail(FailureKind::Damaged,
                     "the part " + m_entry.name + " is damaged: " + error.what());
            }
            m_inputAt += step.consumed;
            m_produced += step.produced;
            if (step.finished) {
                m_finished = true;
                m_crc = m_inflater->crc();
                checkWhole();
                return step.produced;
            }
            if (step.produced > 0) {
                return step.produced;
            }
            if (m_inputEnded || (step.consumed == 0 && m_inputAt < m_input.size())) {
                fail(FailureKind::Damaged,
                     "the part " + m_entry.name + " is damaged: its compressed data ends early");
            }
        }
    }

    // At the end of the entry: what came out must be what the archive recorded.
    void checkWhole() const {
        if (m_entry.sizesKnown && m_produced != m_entry.declaredSize) {
            fail(FailureKind::Damaged,
                 "the part " + m_entry.name + " holds less data than the archive says");
        }
        if (m_crc != m_entry.crc) {
            fail(FailureKind::Damaged,
                 "the part " + m_entry.name + " is damaged: its CRC does not match its data");
        }
    }

    ZipPackage& m_package;
    zip_file_t* m_file;
    Entry m_entry;
    uint64_t m_maxBytes;
    uint64_t m_read = 0;
    std::unique_ptr<xlsx::Inflater> m_inflater;
    std::string m_input;  // compressed bytes read and not yet all inflated
    size_t m_inputAt = 0;
    bool m_inputEnded = false;
    bool m_finished = false;
    uint64_t m_produced = 0;
    uint32_t m_crc = 0;
};

std::unique_ptr<ZipPackage> ZipPackage::openFile(std::shared_ptr<const files::InputFile> file) {
    if (file->size() == 0) {
        fail(FailureKind::NotPackage, "the file is empty");
    }
    auto state = std::make_unique<FileState>();
    state->file = file;
    zip_error_init(&state->error);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_function_create(readFileSource, state.get(), &error);
    if (!source) {
        zip_error_fini(&state->error);
        zip_error_fini(&error);
        throw std::bad_alloc();
    }
    // From here the source owns the state and frees it with itself.
    FileState* shared = state.release();
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (archive) {
        zip_error_fini(&error);
        return std::unique_ptr<ZipPackage>(new ZipPackage(archive, shared));
    }
    int code = zip_error_code_zip(&error);
    zip_error_fini(&error);
    std::exception_ptr failure = std::exchange(shared->failure, nullptr);
    zip_source_free(source);
    if (failure) {
        std::rethrow_exception(failure);
    }
    OleContent ole = OleContent::NotOle;
    std::string firstBytes;
    if (code == ZIP_ER_NOZIP) {
        ReadAt readAt = [&file](uint64_t offset, char* buffer, size_t n) -> size_t {
            return file->readAt(offset, buffer, n);
        };
        ole = probeOle(readAt, file->size());
        firstBytes.resize(4);
        firstBytes.resize(file->readAt(0, firstBytes.data(), firstBytes.size()));
    }
    failOpen(code, ole, firstBytes);
}

std::unique_ptr<ZipPackage> ZipPackage::openFile(const std::string& path) {
    return openFile(std::make_shared<const files::InputFile>(path));
}

std::unique_ptr<ZipPackage> ZipPackage::openMemory(std::string_view bytes) {
    if (bytes.empty()) {
        fail(FailureKind::NotPackage, "the file is empty");
    }
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        throw std::bad_alloc();
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (archive) {
        zip_error_fini(&error);
        return std::unique_ptr<ZipPackage>(new ZipPackage(archive, nullptr));
    }
    int code = zip_error_code_zip(&error);
    zip_error_fini(&error);
    zip_source_free(source);
    OleContent ole = OleContent::NotOle;
    if (code == ZIP_ER_NOZIP) {
        ReadAt readAt = [bytes](uint64_t offset, char* buffer, size_t n) -> size_t {
            if (offset >= bytes.size()) {
                return 0;
            }
            size_t count = std::min<uint64_t>(n, bytes.size() - offset);
            std::copy_n(bytes.data() + offset, count, buffer);
            return count;
        };
        ole = probeOle(readAt, bytes.size());
    }
    failOpen(code, ole, bytes.substr(0, 4));
}

ZipPackage::~ZipPackage() {
    zip_discard(m_archive);
}

std::optional<std::string> ZipPackage::findPart(std::string_view name) const {
    std::string wanted(name);
    if (wanted.empty() || wanted.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    zip_int64_t index = zip_name_locate(m_archive, wanted.c_str(), 0);
    if (index < 0) {
        index = zip_name_locate(m_archive, wanted.c_str(), ZIP_FL_NOCASE);
    }
    if (index < 0) {
        return std::nullopt;
    }
    const char* stored = zip_get_name(m_archive, static_cast<zip_uint64_t>(index), 0);
    return stored ? std::optional<std::string>(stored) : std::nullopt;
}

std::vector<std::string> ZipPackage::partNames() const {
    std::vector<std::string> names;
    zip_int64_t count = zip_get_num_entries(m_archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        if (const char* name = zip_get_name(m_archive, static_cast<zip_uint64_t>(i), 0)) {
            names.emplace_back(name);
        }
    }
    return names;
}

std::unique_ptr<ByteSource> ZipPackage::openPart(const std::string& storedName, uint64_t maxBytes) {
    zip_int64_t index = zip_name_locate(m_archive, storedName.c_str(), 0);
    if (index < 0) {
        fail(FailureKind::Invalid, "the part " + storedName + " is missing");
    }
    auto entry = static_cast<zip_uint64_t>(index);
    zip_stat_t stat;
    zip_stat_init(&stat);
    bool sizesKnown = zip_stat_index(m_archive, entry, 0, &stat) == 0 &&
                      (stat.valid & ZIP_STAT_SIZE) && (stat.valid & ZIP_STAT_COMP_SIZE);
    if (sizesKnown && (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) &&
        stat.encryption_method != ZIP_EM_NONE) {
        fail(FailureKind::Encrypted, "the workbook is protected by a password");
    }
    ZipPartSource::Entry part;
    part.name = storedName;
    part.sizesKnown = sizesKnown;
    part.compressedSize = sizesKnown ? stat.comp_size : 0;
    part.declaredSize = sizesKnown ? stat.size : 0;
    // Deflated entries that are plainly not encrypted are inflated here; libzip reads the
    // rest.
    const bool plain = sizesKnown && (stat.valid & ZIP_STAT_CRC) &&
                       (stat.valid & ZIP_STAT_COMP_METHOD) &&
                       (stat.valid & ZIP_STAT_ENCRYPTION_METHOD);
    if (plain && stat.comp_method == ZIP_CM_DEFLATE) {
        part.coding = ZipPartSource::Coding::Deflated;
    }
    part.crc = plain ? stat.crc : 0;
    const zip_flags_t flags =
        part.coding == ZipPartSource::Coding::ByLibzip ? 0 : ZIP_FL_COMPRESSED;
    zip_file_t* file = zip_fopen_index(m_archive, entry, flags);
    if (!file) {
        rethrowFileFailure();
        zip_error_t* error = zip_get_error(m_archive);
        int code = zip_error_code_zip(error);
        if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_ENCRNOTSUPP) {
            fail(FailureKind::Encrypted, "the workbook is protected by a password");
        }
        if (code == ZIP_ER_MEMORY) {
            throw std::bad_alloc();
        }
        fail(FailureKind::Damaged, zip_error_strerror(error));
    }
    return std::make_unique<ZipPartSource>(*this, file, std::move(part), maxBytes);
}

}  // namespace plyfold::engine::xlsx_read
