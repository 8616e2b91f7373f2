#include <new>

#include "engine/common/error.h"
#include "engine/io/workbook_io.h"
#include "engine/io/xlsx/atomic_file_writer.h"
#include "engine/io/xlsx/xlsx_writer.h"

namespace plyfold::engine {

void saveWorkbook(const Workbook& workbook, const std::string& path) {
    auto failure = [&path](ErrorNumber number, const std::string& why) {
        return SpreadsheetError(number, "Cannot save '" + path + "': " + why);
    };
    try {
        // Until commit() the target is untouched; the temporary file goes with the writer.
        xlsx::AtomicFileWriter file(path);
        xlsx::XlsxWriteOptions options;
        options.kind = xlsx::packageKindForPath(path);
        xlsx::writeXlsx(workbook, file, options);
        file.commit();
    } catch (const xlsx::FileSaveError&) {
        throw;
    } catch (const SpreadsheetError& e) {
        throw failure(static_cast<ErrorNumber>(e.number()), e.description());
    } catch (const std::bad_alloc&) {
        throw failure(ErrorNumber::OutOfMemory, "out of memory.");
    } catch (const std::exception& e) {
        throw failure(ErrorNumber::ApplicationDefined, std::string(e.what()) + ".");
    }
}

}  // namespace plyfold::engine
