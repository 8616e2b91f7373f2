#include "dialogs/common_dialogs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/scripted_presenter.h"
#include "tests/support/temp_dir.h"

namespace plyfold::dialogs {
namespace {

namespace fs = std::filesystem;
using Filters = std::vector<std::pair<std::string, std::string>>;
int g_window = 0;
void* const kOwner = &g_window;

class CommonDialogs : public ::testing::Test {
protected:
    CommonDialogs() : dialog(dir.file("program")) { dialog.Init(kOwner, &presenter); }
    std::string results() const {
        return dialog.FileName() + "|" + dialog.FileTitle() + "|" + dialog.Path();
    }
    test::TempDir dir;
    test::ScriptedPresenter presenter;
    CCommonDialogs dialog;
};

TEST_F(CommonDialogs, PropertiesStartEmptyAndSomeTextsReadBackUpToTheirFirstNul) {
    CCommonDialogs fresh("/program");
    EXPECT_EQ(fresh.FontSize() + fresh.Color() + fresh.FontBold() + fresh.FontItalic() +
                  fresh.FontUnderline(),
              0u);
    EXPECT_EQ(fresh.Title() + fresh.Path() + fresh.FileTitle() + fresh.FileName() + fresh.Filter() +
                  fresh.DefExt() + fresh.FontName(),
              "");
    const std::string withNul("left\0right", 10);
    for (auto set :
         {&CCommonDialogs::setTitle, &CCommonDialogs::setPath, &CCommonDialogs::setFileTitle,
          &CCommonDialogs::setFileName, &CCommonDialogs::setFilter, &CCommonDialogs::setDefExt,
          &CCommonDialogs::setFontName}) {
        (fresh.*set)(withNul);
    }
    EXPECT_EQ(fresh.Title() + fresh.Path() + fresh.FileTitle() + fresh.FileName(),
              "leftleftleftleft");
    EXPECT_EQ(fresh.Filter() + fresh.DefExt() + fresh.FontName(), withNul + withNul + withNul);
}

TEST_F(CommonDialogs, EveryShowMethodThrowsBeforeInit) {
    const std::vector<std::function<bool(CCommonDialogs&)>> shows = {
        &CCommonDialogs::ShowOpen,
        &CCommonDialogs::ShowOpenFiltered,
        &CCommonDialogs::ShowSave,
        &CCommonDialogs::ShowFolder,
        [](CCommonDialogs& d) { return d.ShowColor(true); },
        &CCommonDialogs::ShowFont,
        &CCommonDialogs::ShowPrinter,
        &CCommonDialogs::ShowPrinterProperties};
    for (const auto& show : shows) {
        CCommonDialogs unbound("/program");
        EXPECT_THROW(show(unbound), DialogError);
        unbound.Init(kOwner, nullptr);
        EXPECT_THROW(show(unbound), DialogError);
    }
    EXPECT_TRUE(presenter.owners.empty());
}

TEST_F(CommonDialogs, OpenOffersTheOneSpreadsheetFilterForExistingFiles) {
    dialog.setFilter("Text|*.txt");
    dialog.setTitle("Select Excel File");
    dialog.setDefExt("xls");
    dialog.setFileName(std::string(260, 'a'));
    presenter.openAnswers = {"/data/x/book one.xlsx", "/root.xls", "bare.csv",
                             std::string("/d/a.xls\0junk", 13)};
    for (const char* expected : {"/data/x/book one.xlsx|book one.xlsx|/data/x",
                                 "/root.xls|root.xls|/", "bare.csv|bare.csv|", "/d/a.xls|a.xls|/d",
                                 "/d/a.xls|a.xls|/d"}) {  // the last one cancelled
        dialog.ShowOpen();
        EXPECT_EQ(results(), expected);
    }
    const FileDialogRequest& first = presenter.openRequests.at(0);
    EXPECT_EQ(first.filters, (Filters{{"Excel File(*.xls;*.xlsx;*.xlsm;*.dbf;*.csv;*.txt)",
                                       "*.xl*;*.csv;*.txt;*.dbf"}}));
    EXPECT_TRUE(first.fileMustExist);
    EXPECT_EQ(first.title + first.defaultExtension, "Select Excel Filexls");
    EXPECT_EQ(first.initialFileName, std::string(260, 'a'));
    dialog.setFileName(std::string(261, 'a'));
    EXPECT_THROW(dialog.ShowOpen(), DialogError);
    EXPECT_EQ(presenter.owners, std::vector<void*>(5, kOwner));
}

TEST_F(CommonDialogs, MultiSelectTakesEveryChosenFileInOrderAndDescribesTheFirst) {
    using Names = std::vector<std::string>;
    dialog.setMultiSelect(true);
    presenter.openListAnswers = {
        Names{"/d/b.xlsx", "/e/a.csv", std::string("/d/c.xls\0junk", 13)},
        Names{"", "/root.xls", ""},  // names the presenter left empty are no files
        Names{},                     // confirmed without a file: a cancel
        std::nullopt};
    EXPECT_TRUE(dialog.ShowOpen());
    EXPECT_EQ(dialog.FileNames(), (Names{"/d/b.xlsx", "/e/a.csv", "/d/c.xls"}));
    EXPECT_EQ(results(), "/d/b.xlsx|b.xlsx|/d");
    EXPECT_TRUE(dialog.ShowOpen());
    EXPECT_EQ(dialog.FileNames(), Names{"/root.xls"});
    EXPECT_EQ(results(), "/root.xls|root.xls|/");
    for (int cancel = 0; cancel < 2; ++cancel) {
        EXPECT_FALSE(dialog.ShowOpen());
        EXPECT_EQ(dialog.FileNames(), Names{"/root.xls"});
        EXPECT_EQ(results(), "/root.xls|root.xls|/");
    }
    EXPECT_EQ(presenter.multiSelectRequests, 4);
    EXPECT_EQ(presenter.openRequests.at(0).filters.size(), 1u);
    EXPECT_TRUE(presenter.openRequests.at(0).fileMustExist);
    // A presenter that picks one file at a time still serves a multiple choice.
    presenter.openAnswers = {"/one/only.dbf"};
    EXPECT_TRUE(dialog.ShowOpen());
    EXPECT_EQ(dialog.FileNames(), Names{"/one/only.dbf"});
    // Without the flag the dialog asks for one file; a folder choice has no files.
    dialog.setMultiSelect(false);
    presenter.openAnswers = {"/single.xlsx"};
    EXPECT_TRUE(dialog.ShowOpen());
    EXPECT_EQ(presenter.multiSelectRequests, 5);
    EXPECT_EQ(dialog.FileNames(), Names{"/single.xlsx"});
    presenter.folderAnswers = {"/folder"};
    EXPECT_TRUE(dialog.ShowFolder());
    EXPECT_TRUE(dialog.FileNames().empty());
    EXPECT_EQ(presenter.owners, std::vector<void*>(7, kOwner));
}

TEST_F(CommonDialogs, OpenFilteredOffersFilterForExistingFiles) {
    const struct {
        const char* filter;
        Filters filters;
    } cases[] = {
        {"Job (*.job)|*.job|All|*.*", {{"Job (*.job)", "*.job"}, {"All", "*.*"}}},
        {"", {{"*.*", "*.*"}}},
        {"  ", {{"*.*", "*.*"}}},
    };
    dialog.setTitle("Open Job");
    dialog.setFileName("/jobs/last.job");
    presenter.openAnswers = {"/jobs/m.job"};
    for (const auto& c : cases) {
        dialog.setFilter(c.filter);
        dialog.ShowOpenFiltered();
        const FileDialogRequest& request = presenter.openRequests.back();
        EXPECT_EQ(request.filters, c.filters) << c.filter;
        EXPECT_EQ(request.filterIndex, 1);
        EXPECT_TRUE(request.fileMustExist);
        EXPECT_EQ(request.title, "Open Job");
    }
    EXPECT_EQ(presenter.openRequests.front().initialFileName, "/jobs/last.job");
    EXPECT_EQ(results(), "/jobs/m.job|m.job|/jobs") << "the later ones were cancelled";
    dialog.setFileName(std::string(261, 'a'));
    EXPECT_THROW(dialog.ShowOpenFiltered(), DialogError);
}

TEST_F(CommonDialogs, FolderSetsPathAndEmptiesTheFileProperties) {
    dialog.setTitle("Add all excel files in folder");
    presenter.folderAnswers = {"/data/folder", "/data/folder//", "/", ""};
    for (const char* expected : {"||/data/folder", "||/data/folder", "||/", "||"}) {
        dialog.setFileName("/old/file.xls");
        dialog.setFileTitle("file.xls");
        EXPECT_TRUE(dialog.ShowFolder());
        EXPECT_EQ(results(), expected);
    }
    dialog.setFileName("/kept/f.xls");
    EXPECT_FALSE(dialog.ShowFolder());
    EXPECT_EQ(results(), "/kept/f.xls||");
    EXPECT_EQ(presenter.folderTitles, std::vector<std::string>(5, dialog.Title()));
}

TEST_F(CommonDialogs, SavePreparesItsFolderAndFilterAndTakesTheWholeName) {
    fs::create_directories(dir.path() / "full" / "x");
    fs::create_directory(dir.path() / "empty");
    test::writeFile(dir.path() / "file.txt", "x");
    const std::string program = dir.file("program");
    const std::string base = dir.path().string();
    struct Case {
        std::string path, folder, filter;
        Filters filters;
    };
    const Case cases[] = {
        {"", program, "", {{"*.*", "*.*"}}},
        {"   ", program, "  ", {{"*.*", "*.*"}}},
        {base + "/full", base + "/full/", "Workbook|*.xlsx", {{"Workbook", "*.xlsx"}}},
        {base + "/full/", base + "/full/", "A|*.a|B|*.b;*.c", {{"A", "*.a"}, {"B", "*.b;*.c"}}},
        {base + "/empty", base + "/empty/", "A|*.a|Lonely", {{"A", "*.a"}}},
        {base + "/missing", program, "", {{"*.*", "*.*"}}},
        {base + "/file.txt", program, "", {{"*.*", "*.*"}}},
    };
    dialog.setTitle("ignored");
    dialog.setDefExt("ignored");
    dialog.setFileName("/not/offered.xls");
    for (const Case& c : cases) {
        dialog.setPath(c.path);
        dialog.setFilter(c.filter);
        EXPECT_FALSE(dialog.ShowSave());
        EXPECT_EQ(dialog.Path(), c.folder);
        const FileDialogRequest& request = presenter.saveRequests.back();
        EXPECT_EQ(request.initialFolder, c.folder);
        EXPECT_EQ(request.filters, c.filters) << c.filter;
        EXPECT_EQ(request.title + request.defaultExtension + request.initialFileName, "Save");
        EXPECT_TRUE(request.filterIndex == 1 && !request.fileMustExist);
    }
    EXPECT_EQ(dialog.FileName(), "/not/offered.xls");
    const std::string name = std::string(300, 'n') + ".xlsx";
    presenter.saveAnswers = {"/out/" + name};
    EXPECT_TRUE(dialog.ShowSave());
    EXPECT_EQ(results(), "/out/" + name + "|" + name + "|/out");
    CCommonDialogs unnamed;
    unnamed.Init(kOwner, &presenter);
    unnamed.ShowSave();
    EXPECT_EQ(unnamed.Path(), fs::canonical("/proc/self/exe").parent_path().string());
}

TEST_F(CommonDialogs, ColorFontAndPrinterDialogsStartFromThePropertiesAndReadBack) {
    dialog.setColor(0x123456);
    presenter.colorAnswers = {0xABCDEFu};
    EXPECT_TRUE(dialog.ShowColor(true));
    EXPECT_FALSE(dialog.ShowColor(false));
    EXPECT_EQ(dialog.Color(), 0xABCDEFu);
    EXPECT_EQ(presenter.colorRequests,
              (std::vector<std::pair<uint32_t, bool>>{{0x123456, true}, {0xABCDEF, false}}));
    dialog.setFontName("Arial");
    dialog.setFontSize(9);
    dialog.setFontBold(true);
    dialog.setFontUnderline(true);
    presenter.fontAnswers = {FontChoice{std::string("Serif\0x", 7), 14, false, true, false, 1},
                             FontChoice{"Big", 100000, true, false, false, 0}};
    EXPECT_TRUE(dialog.ShowFont());
    const FontChoice& asked = presenter.fontRequests.at(0);
    EXPECT_EQ(asked.name + std::to_string(asked.size), "Arial9");
    EXPECT_TRUE(asked.bold && !asked.italic && asked.underline && asked.color == 0xABCDEFu);
    EXPECT_EQ(dialog.FontName() + std::to_string(dialog.FontSize()), "Serif14");
    // Underline and colour are not read back.
    EXPECT_TRUE(!dialog.FontBold() && dialog.FontItalic() && dialog.FontUnderline());
    EXPECT_EQ(dialog.Color(), 0xABCDEFu);
    EXPECT_TRUE(dialog.ShowFont());
    EXPECT_EQ(dialog.FontSize(), 32767);
    EXPECT_FALSE(dialog.ShowFont());
    presenter.printerAnswers = {true, false, true, false};
    EXPECT_TRUE(dialog.ShowPrinter() && !dialog.ShowPrinter());
    EXPECT_TRUE(dialog.ShowPrinterProperties() && !dialog.ShowPrinterProperties());
    presenter.fail = true;
    presenter.fontAnswers = {FontChoice{"Other", 20, false, false, false, 0}};
    presenter.printerAnswers = {true};
    EXPECT_FALSE(dialog.ShowFont() || dialog.ShowPrinterProperties());
    EXPECT_EQ(dialog.FontName(), "Big");
    EXPECT_EQ(presenter.owners, std::vector<void*>(11, kOwner));
}

}  // namespace
}  // namespace plyfold::dialogs
