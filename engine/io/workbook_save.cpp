#include <functional>
#include <new>

#include "engine/common/atomic_file.h"
#include "engine/common/error.h"
#include "engine/common/file_access.h"
#include "engine/io/save_atomically.h"
#include "engine/io/workbook_io.h"
#include "engine/io/xlsx/xlsx_writer.h"

namespace plyfold::engine {
namespace {

// The archive's bytes straight into the file.
class AtomicFileSink : public xlsx::ByteSink {
public:
    explicit AtomicFileSink(files::AtomicFile& file) : m_file(file) {}
    void write(const char* data, size_t size) override { m_file.write(data, size); }

private:
    files::AtomicFile& m_file;
};

}  // namespace

void saveAtomically(const std::string& path,
                    const std::function<void(files::AtomicFile&)>& writeContent) {
    auto failure = [&path](ErrorNumber number, const std::string& why) {
        return SpreadsheetError(number, "Cannot save '" + path + "': " + why);
    };
    try {
        // Until commit() the target is untouched; the temporary file goes with the writer.
        files::AtomicFile file(path);
        writeContent(file);
        file.commit();
    } catch (const files::FileError& e) {
        // A failure of the target already says so; one of a source read on the way does not.
        if (e.path() == path) {
            throw;
        }
        throw failure(static_cast<ErrorNumber>(e.number()), e.description());
    } catch (const SpreadsheetError& e) {
        throw failure(static_cast<ErrorNumber>(e.number()), e.description());
    } catch (const std::bad_alloc&) {
        throw failure(ErrorNumber::OutOfMemory, "out of memory.");
    } catch (const std::exception& e) {
        throw failure(ErrorNumber::ApplicationDefined, std::string(e.what()) + ".");
    }
}

void saveWorkbook(const Workbook& workbook, const std::string& path) {
    saveAtomically(path, [&](files::AtomicFile& file) {
        AtomicFileSink sink(file);
        xlsx::XlsxWriteOptions options;
        options.kind = xlsx::packageKindForPath(path);
        xlsx::writeXlsx(workbook, sink, options);
    });
}

}  // namespace plyfold::engine
