#include <gtest/gtest.h>

#include <QApplication>
#include <QTableView>
#include <QTest>

#include <memory>
#include <string_view>

#include "app/qt/result_window.h"
#include "automation/automation.h"
#include "engine/model/sheet.h"
#include "engine/model/workbook.h"
#include "engine/ops/sheet_ops.h"

namespace plyfold::gui {
namespace {

using engine::CellType;

struct Book {
    std::shared_ptr<engine::Workbook> book = std::make_shared<engine::Workbook>();
    engine::Sheet& sheet = book->addSheet("Sheet1");

    uint32_t style(std::string_view format, const char* fontName = nullptr, bool bold = false) {
        engine::StyleTable& styles = book->styles();
        engine::CellStyle style;
        if (!format.empty()) {
            style.numberFormat = styles.addFormatCode(format);
        }
        if (fontName) {
            engine::Font font = styles.font(0);
            font.name = fontName;
            font.bold = bold;
            style.font = styles.addFont(font);
        }
        return styles.addStyle(style);
    }
    void number(int row, int column, double value, uint32_t style = 0) {
        engine::Cell& cell = sheet.cellAt({row, column});
        cell.type = CellType::Number;
        cell.value.number = value;
        cell.style = style;
    }
    void text(int row, int column, std::string_view value, uint32_t style = 0) {
        engine::Cell& cell = sheet.cellAt({row, column});
        cell.type = CellType::Text;
        cell.value.text = book->strings().intern(value);
        cell.style = style;
    }
};

// A report as a merge leaves it: bold Cambria headers over dates, references, amounts and a
// total, its columns fitted.
void fillReport(Book& b) {
    const uint32_t header = b.style("", "Cambria", true);
    const uint32_t date = b.style("mm/dd/yyyy");
    const uint32_t money = b.style("\"$\"#,##0.00");
    const char* headers[] = {"Settlement date", "Ref", "Amount", "Total"};
    for (int c = 0; c < 4; ++c) {
        b.text(0, c, headers[c], header);
    }
    const double amounts[] = {4029213.5, 88.1, 1250000, 77777777.77};
    for (int r = 1; r <= 4; ++r) {
        b.number(r, 0, 43952 + r * 31, date);
        b.text(r, 1, r % 2 ? "Re" : "RE-7");
        b.number(r, 2, amounts[r - 1], money);
    }
    b.number(5, 3, 777777777.77, money);
    engine::autoFitColumns(b.sheet);
}

TEST(CellRendering, ShowsAFittedReportWhole) {
    Book b;
    fillReport(b);
    auto application = std::make_shared<automation::Application>();
    ResultWindow window(std::make_shared<InstanceLease>(application), b.book, "Book1", {});
    window.resize(700, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    if (const char* shot = std::getenv("PLYFOLD_CELL_SHOT")) {
        window.grab().save(QString::fromLocal8Bit(shot));
    }
}

}  // namespace
}  // namespace plyfold::gui
