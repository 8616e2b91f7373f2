#include <memory>

#include "engine/common/error.h"
#include "engine/common/file_access.h"
#include "engine/common/file_kind.h"
#include "engine/io/csv/delimited_text_reader.h"
#include "engine/io/dbf/dbf_reader.h"
#include "engine/io/workbook_io.h"
#include "engine/io/xls/xls_reader.h"
#include "engine/io/xlsx/xlsx_reader.h"

namespace plyfold::engine {
namespace {

std::unique_ptr<Workbook> readWorkbook(const std::string& path, const TextDialect& dialect) {
    // The readers that read at once carry on with the file opened here.
    auto file = std::make_shared<const files::InputFile>(path);
    std::string firstBytes = file->readFirst(files::kFormatSniffBytes);
    switch (files::detectFormat(firstBytes, path)) {
        case files::FileFormat::Xlsx:
            return readXlsx(std::move(file));
        case files::FileFormat::Xls:
            return xls::readXls(*file);
        case files::FileFormat::Csv:
            return csv::readDelimitedText(path, ',', dialect);
        case files::FileFormat::TabText:
            return csv::readDelimitedText(path, '\t', dialect);
        case files::FileFormat::Dbf:
            return dbf::readDbf(path);
        case files::FileFormat::WebPage:
            throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                                   "'" + path +
                                       "' is a web page saved with a spreadsheet extension; open "
                                       "it in a spreadsheet program and save it as a workbook.");
        case files::FileFormat::XmlSpreadsheet:
            throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                                   "'" + path +
                                       "' is an XML spreadsheet (the 2003 XML format); open it in "
                                       "a spreadsheet program and save it as a workbook.");
        case files::FileFormat::Unknown:
            break;
    }
    throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                           "'" + path + "' is not a file format Plyfold can read.");
}

}  // namespace

std::unique_ptr<Workbook> openWorkbook(const std::string& path,
                                       std::shared_ptr<MemoryBudget> budget,
                                       const TextDialect& dialect) {
    try {
        // The readers read little before the first sheet is loaded; what they keep (a .xls
        // file's stream) moves to the budget here.
        std::unique_ptr<Workbook> workbook = readWorkbook(path, dialect);
        workbook->memory().setBudget(std::move(budget));
        return workbook;
    } catch (const MemoryLimitReached& reached) {
        throw SpreadsheetError(ErrorNumber::OutOfMemory,
                               "'" + path + "': reading it would take more than the " +
                                   memorySizeText(reached.limit()) +
                                   " of memory this merge may use.");
    }
}

}  // namespace plyfold::engine
