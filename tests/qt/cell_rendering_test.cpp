#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QTableView>
#include <QTest>

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "app/qt/cell_delegate.h"
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
    uint32_t rightAligned() {
        engine::CellStyle style;
        style.alignment.horizontal = engine::HorizontalAlign::Right;
        return book->styles().addStyle(style);
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

// A result window over a book, shown.
struct Shown {
    std::shared_ptr<automation::Application> application =
        std::make_shared<automation::Application>();
    std::unique_ptr<ResultWindow> window;
    QTableView* view = nullptr;

    explicit Shown(const Book& b) {
        window = std::make_unique<ResultWindow>(std::make_shared<InstanceLease>(application),
                                                b.book, "Book1", ResultWindowServices{});
        window->resize(700, 300);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        view = window->sheetView(0);
    }
    ~Shown() { window.reset(); }

    CellText layOut(int row, int column) const {
        QStyleOptionViewItem option;
        option.initFrom(view);
        option.widget = view;
        option.font = view->font();
        const QModelIndex index = view->model()->index(row, column);
        option.rect = view->visualRect(index);
        return static_cast<CellDelegate*>(view->itemDelegate())->layOut(option, index);
    }
    QImage image() const {
        view->viewport()->repaint();
        return view->viewport()->grab().toImage();
    }
    void save(const char* name) const {
        if (const char* folder = std::getenv("PLYFOLD_CELL_SHOTS")) {
            window->grab().save(QString::fromLocal8Bit(folder) + "/" + name);
        }
    }
};

// The rightmost column of dark pixels in a band of rows, between two x positions; -1 if none.
int lastInk(const QImage& image, const QRect& band) {
    for (int x = std::min(band.right(), image.width() - 1); x >= band.left(); --x) {
        for (int y = band.top(); y <= band.bottom(); ++y) {
            if (qGray(image.pixel(x, y)) < 110) {
                return x;
            }
        }
    }
    return -1;
}

TEST(CellRendering, ShowsAFittedReportWhole) {
    Book b;
    fillReport(b);
    Shown shown(b);
    shown.save("fitted-report.png");
    ASSERT_TRUE(shown.view);
    const engine::Sheet& sheet = b.sheet;
    int cells = 0;
    for (const engine::Row& row : sheet.rows()) {
        for (const engine::Cell& cell : row.cells) {
            SCOPED_TRACE(row.index * 100 + cell.column);
            const QString full =
                shown.view->model()->index(row.index, cell.column).data().toString();
            const CellText text = shown.layOut(row.index, cell.column);
            EXPECT_EQ(text.text, full);
            EXPECT_FALSE(text.runsOn);  // it fits its own cell
            const QRectF area = CellDelegate::textArea(
                shown.view->visualRect(shown.view->model()->index(row.index, cell.column)));
            EXPECT_LE(QFontMetricsF(text.font).horizontalAdvance(full), area.width());
            ++cells;
        }
    }
    EXPECT_EQ(cells, 17);
    // The headers show in Cambria's metric twin where it is installed, as they were fitted.
    const QFont header = shown.layOut(0, 0).font;
    EXPECT_TRUE(header.bold());
    if (QFontDatabase::families().contains("Caladea")) {
        EXPECT_EQ(QFontInfo(header).family(), "Caladea");
    }
}

TEST(CellRendering, ANumberTooWideShowsAsManyHashesAsFit) {
    Book b;
    const uint32_t money = b.style("\"$\"#,##0.00");
    b.number(0, 0, 4029213.5, money);
    b.number(1, 0, 45000, b.style("mm/dd/yyyy"));
    b.text(2, 0, "4029213.5 as text");
    b.sheet.setColumnWidth(0, 4.0);
    Shown shown(b);
    shown.save("hashes.png");
    for (int row : {0, 1}) {
        SCOPED_TRACE(row);
        const CellText text = shown.layOut(row, 0);
        const QRectF area =
            CellDelegate::textArea(shown.view->visualRect(shown.view->model()->index(row, 0)));
        const QFontMetricsF metrics(text.font);
        ASSERT_FALSE(text.text.isEmpty());
        EXPECT_EQ(text.text, QString(text.text.size(), '#'));
        EXPECT_LE(metrics.horizontalAdvance(text.text), area.width());
        EXPECT_GT(metrics.horizontalAdvance(text.text + '#'), area.width());
    }
    // A text is no number: it runs on.
    const CellText text = shown.layOut(2, 0);
    EXPECT_EQ(text.text, "4029213.5 as text");
    EXPECT_TRUE(text.runsOn);
}

TEST(CellRendering, ATextRunsOnIntoEmptyCellsAndIsCutAtAFilledOne) {
    Book b;
    const std::string_view longText = "A remark far wider than its column";
    b.text(0, 1, longText);  // C1 and beyond are empty
    b.text(1, 1, longText);
    b.number(1, 2, 7);                         // C2 holds a number
    b.text(2, 3, longText, b.rightAligned());  // right aligned: runs on to the left
    Shown shown(b);
    shown.save("run-on.png");
    QTableView* view = shown.view;
    const QImage image = shown.image();
    auto cell = [&](int row, int column) {
        return view->visualRect(view->model()->index(row, column));
    };
    const qreal advance =
        QFontMetricsF(view->font())
            .horizontalAdvance(QString::fromUtf8(longText.data(), longText.size()));

    // Row 1: drawn whole across C1, D1 ...; no gridline where it runs across.
    const QRect b1 = cell(0, 1);
    const int end = static_cast<int>(CellDelegate::textArea(b1).left() + advance);
    ASSERT_GT(end, cell(0, 2).right());  // it needs the room of the next cell
    const int inkEnd = lastInk(image, QRect(b1.left(), b1.top() + 2, 600, b1.height() - 4));
    EXPECT_GE(inkEnd, end - 4);
    EXPECT_LE(inkEnd, end + 1);
    EXPECT_NE(image.pixel(b1.right(), b1.top() + 1),
              image.pixel(cell(1, 1).right(), b1.top() + 21));

    // Row 2: cut at the edge of B2, the number in C2 shown as it is.
    const QRect b2 = cell(1, 1);
    const QRect c2 = cell(1, 2);
    EXPECT_LE(lastInk(image, QRect(b2.left(), b2.top() + 2, c2.left() - b2.left() + c2.width() / 2,
                                   b2.height() - 4)),
              b2.right());
    EXPECT_EQ(shown.layOut(1, 2).text, "7");

    // Row 3: a right-aligned text ends at its own cell's margin and runs on to the left.
    const QRect d3 = cell(2, 3);
    const int rightEnd = lastInk(image, QRect(0, d3.top() + 2, d3.right() + 1, d3.height() - 4));
    EXPECT_GE(rightEnd, d3.right() - CellDelegate::kMargin - 4);
    EXPECT_LE(rightEnd, d3.right() - CellDelegate::kMargin);
    int firstInk = -1;
    for (int x = 0; x < d3.left() && firstInk < 0; ++x) {
        for (int y = d3.top() + 2; y < d3.bottom() - 1; ++y) {
            if (qGray(image.pixel(x, y)) < 110) {
                firstInk = x;
                break;
            }
        }
    }
    EXPECT_GE(firstInk, 0);
    EXPECT_LT(firstInk, cell(2, 2).left());  // reaches into B3
}

}  // namespace
}  // namespace plyfold::gui
