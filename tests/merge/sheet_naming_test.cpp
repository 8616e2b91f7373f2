#include <gtest/gtest.h>

#include <filesystem>

#include "engine/common/text.h"
#include "engine/model/workbook.h"
#include "merge/merges.h"
#include "merge/sheet_naming.h"
#include "tests/merge/merge_fixture.h"

namespace plyfold::merge {
namespace {

using controls::SheetNamesChoice;
using test::Grid;
using Names = std::vector<std::string>;

Names sheetNames(const engine::Workbook& book) {
    Names names;
    for (int32_t i = 0; i < book.sheetCount(); ++i) {
        names.push_back(book.sheet(i).name());
    }
    return names;
}

TEST(CopySheetName, IsAlwaysAValidSheetName) {
    const std::string longStem(40, 'x');
    // "Ä" is two bytes and one character, "😀" four bytes and two UTF-16 units.
    const std::string umlauts = "Jänner-Größe-Übersicht-Ärger-Öl-Äpfel";
    struct Case {
        SheetNaming naming;
        std::string path;
        std::string sheet;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {SheetNaming::Source, "/m/01-January.xlsx", "Sales", "Sales"},
        {SheetNaming::File, "/m/01-January.xlsx", "Sales", "01-January"},
        {SheetNaming::FileAndSheet, "/m/01-January.xlsx", "Sales", "01-January Sales"},
        {SheetNaming::File, "C:\\reports\\02-February.xls", "S", "02-February"},
        {SheetNaming::File, "/m/no-extension", "S", "no-extension"},
        {SheetNaming::File, "/m/v1.2.final.csv", "S", "v1.2.final"},
        {SheetNaming::File, "/m/.hidden", "S", ".hidden"},
        {SheetNaming::File, "/m/" + longStem + ".xlsx", "S", std::string(31, 'x')},
        {SheetNaming::FileAndSheet, "/m/a[1]:b*c?.xlsx", "d", "a_1__b_c_ d"},
        {SheetNaming::File, "/m/'quoted'.xlsx", "S", "quoted"},
        {SheetNaming::File, "/m/''''.xlsx", "Fallback", "Fallback"},
        // The cut leaves an apostrophe at the end: it goes too.
        {SheetNaming::File, "/m/" + std::string(30, 'a') + "'b.xlsx", "S", std::string(30, 'a')},
        {SheetNaming::File, "/m/" + umlauts + ".xlsx", "S",
         std::string(engine::utf16Prefix(umlauts, 31))},
        {SheetNaming::File, "/m/" + std::string(30, 'e') + "😀.xlsx", "S", std::string(30, 'e')},
    };
    for (const Case& c : cases) {
        const std::string name = copySheetName(c.naming, c.path, c.sheet);
        EXPECT_EQ(name, c.expected) << c.path;
        EXPECT_EQ(engine::sheetNameProblem(name), "") << name;
        EXPECT_TRUE(engine::isValidUtf8(name)) << c.path;
    }
    EXPECT_EQ(engine::utf16Length(copySheetName(SheetNaming::File, "/" + umlauts, "S")), 31u);
}

TEST(CopySheetName, NamesAndChoicesRoundTrip) {
    for (SheetNaming naming : {SheetNaming::Source, SheetNaming::File, SheetNaming::FileAndSheet}) {
        EXPECT_EQ(parseSheetNaming(sheetNamingName(naming)), naming);
        EXPECT_EQ(sheetNamingFor(sheetNamesChoiceFor(naming)), naming);
    }
    EXPECT_FALSE(parseSheetNaming("File"));
    EXPECT_FALSE(parseSheetNaming(""));
    EXPECT_FALSE(parseSheetNaming("file-and-sheet"));
}

class SheetNamingMerge : public test::MergeTest {
protected:
    std::string book(const std::string& relative, const test::NamedGrids& sheets) {
        std::filesystem::create_directories(
            std::filesystem::path(dir.file(relative)).parent_path());
        return writeBook(relative, sheets);
    }
    Names merged(SheetNamesChoice choice) {
        form.sheetNames = choice;
        MergeOutcome outcome;
        EXPECT_TRUE(MergeToOneWorkbook(form, &outcome))
            << (outcome.failure ? outcome.failure->message() : "")
            << (outcome.rows.empty() ? "" : outcome.rows[0].message);
        return sheetNames(resultBook());
    }
};

TEST_F(SheetNamingMerge, EachNamingOverTheSameQueue) {
    const Grid one{{1.0}};
    const std::string jan = book("2026/01-January.xlsx", {{"Sales", one}, {"Costs", one}});
    const std::string feb = book("2026/02-February.xlsx", {{"Sales", one}});
    // The same file name in another folder.
    const std::string janOld = book("2025/01-January.xlsx", {{"sales", one}});
    const std::vector<std::pair<SheetNamesChoice, Names>> cases = {
        {SheetNamesChoice::SourceSheet, {"Sales", "Costs", "Sales (2)", "sales (3)"}},
        {SheetNamesChoice::File, {"01-January", "01-January (2)", "02-February", "01-January (3)"}},
        {SheetNamesChoice::FileAndSheet,
         {"01-January Sales", "01-January Costs", "02-February Sales", "01-January sales (2)"}},
    };
    for (const auto& [choice, expected] : cases) {
        form.ListView4.clear();
        queue(jan, "Sales");
        queue(jan, "Costs");
        queue(feb, "Sales");
        queue(janOld, "sales");
        EXPECT_EQ(merged(choice), expected);
        // Each copy keeps its own cells whatever it is called.
        EXPECT_EQ(resultRows(3), (std::vector<std::string>{"1"}));
    }
}

TEST_F(SheetNamingMerge, ALongFileNameIsCutAndNumberedWithinThirtyOneCharacters) {
    const std::string stem = "Quarterly results of the northern region 2026";
    const std::string path = book(stem + ".xlsx", {{"A", Grid{{1.0}}}, {"B", Grid{{2.0}}}});
    for (int k = 0; k < 11; ++k) {
        queue(path, k % 2 ? "B" : "A");
    }
    const Names names = merged(SheetNamesChoice::File);
    ASSERT_EQ(names.size(), 11u);
    EXPECT_EQ(names[0], stem.substr(0, 31));
    EXPECT_EQ(names[1], stem.substr(0, 27) + " (2)");
    EXPECT_EQ(names[10], stem.substr(0, 26) + " (11)");
    for (const std::string& name : names) {
        EXPECT_LE(name.size(), 31u) << name;
    }
}

TEST_F(SheetNamingMerge, AUtf8NameIsNeverCutInsideACharacter) {
    // 28 "é" (two bytes each) then "xyz": 31 characters, 59 bytes.
    std::string stem;
    for (int k = 0; k < 28; ++k) {
        stem += "é";
    }
    stem += "xyz";
    const std::string path = book(stem + ".xlsx", {{"Ü", Grid{{1.0}}}});
    queue(path, "Ü");
    queue(path, "Ü");
    const Names names = merged(SheetNamesChoice::FileAndSheet);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], stem);
    EXPECT_EQ(names[1], stem.substr(0, 27 * 2) + " (2)");
    for (const std::string& name : names) {
        EXPECT_TRUE(engine::isValidUtf8(name)) << name;
        EXPECT_LE(engine::utf16Length(name), 31u) << name;
    }
}

TEST_F(SheetNamingMerge, ForbiddenCharactersOfAFileNameAreReplaced) {
    // '*' and '?' are left out: the queue takes them for wildcards when it looks for a file.
    const std::string path = book("[draft] a:b 'v2'.xlsx", {{"Data", Grid{{1.0}}}});
    queue(path, "Data");
    EXPECT_EQ(merged(SheetNamesChoice::FileAndSheet), (Names{"_draft_ a_b 'v2' Data"}));
    form.ListView4.clear();
    queue(path, "Data");
    EXPECT_EQ(merged(SheetNamesChoice::File), (Names{"_draft_ a_b 'v2"}));
}

}  // namespace
}  // namespace plyfold::merge
