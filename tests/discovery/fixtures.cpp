#include "tests/discovery/fixtures.h"

#include <xlsxwriter.h>
#include <zip.h>

namespace plyfold::test {

std::vector<std::string> rows(const controls::ListModel& list) {
    std::vector<std::string> texts;
    for (int i = 1; i <= list.count(); ++i) {
        texts.push_back(list.text(i) + (list.isChecked(i) ? "" : "-"));
    }
    return texts;
}

std::vector<std::string> queueRows(const controls::ListModel& queue) {
    std::vector<std::string> texts;
    for (int i = 1; i <= queue.count(); ++i) {
        texts.push_back(queue.text(i) + "|" + queue.subItem(i) + (queue.isChecked(i) ? "" : "-"));
    }
    return texts;
}

void writePlyfoldWorkbook(const std::string& path, ResultMark mark) {
    auto server = automation::CreateObject(automation::kSpreadsheetProgId);
    automation::Workbook book = server->Workbooks().Add();
    if (mark == ResultMark::Marked) {
        book.markAsMergeResult();
    }
    book.SaveAs(path);
    server->Quit();
}

void writeWorkbook(const std::string& path, const std::vector<std::string>& sheets,
                   int rowsPerSheet) {
    constexpr std::string_view kChart = "chart:";
    lxw_workbook* book = workbook_new(path.c_str());
    std::string plotted;  // a chart sheet plots the first worksheet's first column
    for (const std::string& name : sheets) {
        if (name.rfind(kChart, 0) == 0) {
            lxw_chartsheet* sheet = workbook_add_chartsheet(book, name.c_str() + kChart.size());
            lxw_chart* chart = workbook_add_chart(book, LXW_CHART_COLUMN);
            chart_add_series(chart, nullptr, plotted.c_str());
            chartsheet_set_chart(sheet, chart);
            continue;
        }
        lxw_worksheet* sheet = workbook_add_worksheet(book, name.c_str());
        if (plotted.empty()) {
            plotted = "='" + name + "'!$A$1:$A$3";
        }
        for (lxw_row_t row = 0; row < static_cast<lxw_row_t>(rowsPerSheet); ++row) {
            worksheet_write_number(sheet, row, 0, row, nullptr);
            worksheet_write_string(sheet, row, 1, name.c_str(), nullptr);
        }
    }
    if (workbook_close(book) != LXW_NO_ERROR) {
        throw std::runtime_error("cannot write " + path);
    }
}

void replacePackagePart(const std::string& path, const std::string& part,
                        const std::string& bytes) {
    zip_t* archive = zip_open(path.c_str(), 0, nullptr);
    zip_int64_t index = archive ? zip_name_locate(archive, part.c_str(), 0) : -1;
    zip_source_t* source =
        index >= 0 ? zip_source_buffer(archive, bytes.data(), bytes.size(), 0) : nullptr;
    if (!source || zip_file_replace(archive, static_cast<zip_uint64_t>(index), source, 0) != 0 ||
        zip_close(archive) != 0) {
        throw std::runtime_error("cannot replace " + part + " of " + path);
    }
}

}  // namespace plyfold::test
