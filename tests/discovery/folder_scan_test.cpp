#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "automation/automation.h"
#include "discovery/list_workbooks.h"
#include "tests/discovery/fixtures.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/temp_dir.h"

namespace plyfold::discovery {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

void touch(const test::TempDir& dir, const std::string& name) {
    fs::create_directories(fs::path(dir.file(name)).parent_path());
    test::writeFile(dir.path() / name, "x");
}

FolderScanOptions recursive() {
    FolderScanOptions options;
    options.recursive = true;
    return options;
}

TEST(FolderScan, EachFolderListsItsFilesThenItsSubfoldersInNaturalOrderDepthFirst) {
    test::TempDir dir;
    for (const char* name : {"z.csv", "a.xls", "b10/x.xlsx", "b2/y.txt", "b2/x.csv",
                             "b2/deep/k.dbf", "b2/deep/j.xls", ".hidden/h.xls", "b2/.h2/h.xls",
                             "B1/m.xlsm", "empty/.keep", "b2/notes.doc", "c.xls/inner.xls"}) {
        touch(dir, name);
    }
    fs::create_directories(dir.path() / "nothing/at/all");
    const Names all{"a.xls",         "z.csv",         "B1/m.xlsm",  "b2/x.csv",       "b2/y.txt",
                    "b2/deep/j.xls", "b2/deep/k.dbf", "b10/x.xlsx", "c.xls/inner.xls"};
    EXPECT_EQ(workbookNamesOf(dir.path().string(), recursive()), all);
    EXPECT_EQ(workbookNamesOf(dir.path().string() + "/", recursive()), all);
    // Without subfolders the scan is the one level it always was.
    EXPECT_EQ(workbookNamesOf(dir.path().string()), (Names{"a.xls", "z.csv"}));
    // A file source is its own name either way.
    EXPECT_EQ(workbookNamesOf(dir.file("b2/x.csv"), recursive()), Names{"x.csv"});
}

TEST(FolderScan, LinksToFoldersAreFollowedOnceAndLoopsEnd) {
    test::TempDir dir;
    touch(dir, "outside/o.xls");
    touch(dir, "top/t.xls");
    touch(dir, "top/sub/s.xls");
    const fs::path top = dir.path() / "top";
    fs::create_directory_symlink(dir.path() / "outside", top / "a-link");
    fs::create_directory_symlink(dir.path() / "outside", top / "b-link");  // the same again
    fs::create_directory_symlink(top, top / "sub" / "back-to-top");        // a loop
    fs::create_directory_symlink(top / "sub", top / "sub" / "itself");     // a loop of one
    fs::create_directory_symlink(dir.path() / "gone", top / "dangling");
    const WorkbookScan scan = scanWorkbooks(top.string(), recursive());
    EXPECT_EQ(scan.names, (Names{"t.xls", "a-link/o.xls", "sub/s.xls"}));
    EXPECT_FALSE(scan.cutShort);
    EXPECT_TRUE(scan.unlistedFolders.empty());
}

TEST(FolderScan, ADeepTreeIsCutAtTheBoundAndSaysSo) {
    test::TempDir dir;
    std::string path;
    for (int level = 0; level <= kMaxScanDepth + 2; ++level) {
        touch(dir, path + "f.csv");
        path += "d/";
    }
    const WorkbookScan scan = scanWorkbooks(dir.path().string(), recursive());
    ASSERT_EQ(scan.names.size(), static_cast<size_t>(kMaxScanDepth + 1));
    std::string deepest;
    for (int level = 0; level < kMaxScanDepth; ++level) {
        deepest += "d/";
    }
    EXPECT_EQ(scan.names.back(), deepest + "f.csv");
    EXPECT_TRUE(scan.cutShort);
    // A tree within the bound is not cut.
    EXPECT_FALSE(scanWorkbooks(dir.file("d/d/d"), recursive()).cutShort);
}

TEST(FolderScan, ASubfolderThatCannotBeListedIsNamedAndTheRestListed) {
    test::TempDir dir;
    touch(dir, "a/a.xls");
    touch(dir, "locked/l.xls");
    touch(dir, "z/z.xls");
    test::FailingFileSystem files;
    files.fail(test::FileOperation::List, dir.file("locked"), EACCES);
    const WorkbookScan scan = scanWorkbooks(dir.path().string(), recursive());
    EXPECT_EQ(scan.names, (Names{"a/a.xls", "z/z.xls"}));
    EXPECT_EQ(scan.unlistedFolders, Names{"locked"});
    EXPECT_EQ(files.failuresGiven(), 1);
    // The top folder failing is the scan failing, as it always was.
    files.fail(test::FileOperation::List, dir.path().string(), EIO);
    EXPECT_THROW(scanWorkbooks(dir.path().string(), recursive()), files::FileError);
}

TEST(FolderScan, ResultsOfEarlierMergesAndTheOutputFileAreLeftOut) {
    test::TempDir dir;
    test::writePlyfoldWorkbook(dir.file("earlier.xlsx"), test::ResultMark::Marked);
    fs::create_directory(dir.path() / "sub");
    test::writePlyfoldWorkbook(dir.file("sub/older.XLSM"), test::ResultMark::Marked);
    test::writePlyfoldWorkbook(dir.file("saved.xlsx"), test::ResultMark::Unmarked);
    test::writeWorkbook(dir.file("source.xlsx"), {"Sheet1"});
    test::writeFile(dir.path() / "broken.xlsx", "not a zip");
    test::writeFile(dir.path() / "out.csv", "a,b");
    fs::copy_file(dir.file("earlier.xlsx"), dir.file("renamed.xls"));  // not a package type
    fs::create_symlink(dir.file("earlier.xlsx"), dir.file("zlink.xlsx"));
    using R = LeftOutReason;
    struct Case {
        bool includeResults;
        std::string output;
        Names names;
        std::vector<LeftOutWorkbook> leftOut;
    };
    const Names sources{"broken.xlsx", "renamed.xls", "saved.xlsx", "source.xlsx", "out.csv"};
    const Names everything{"broken.xlsx", "earlier.xlsx", "renamed.xls", "saved.xlsx",
                           "source.xlsx", "zlink.xlsx",   "out.csv",     "sub/older.XLSM"};
    const std::vector<LeftOutWorkbook> results{{"earlier.xlsx", R::MergeResult},
                                               {"zlink.xlsx", R::MergeResult},
                                               {"sub/older.XLSM", R::MergeResult}};
    const Case cases[] = {
        {false, "", sources, results},
        {true, "", everything, {}},
        // The output file, an earlier result, is left out under every name that leads to it,
        // results kept or not.
        {true,
         dir.file("earlier.xlsx"),
         {"broken.xlsx", "renamed.xls", "saved.xlsx", "source.xlsx", "out.csv", "sub/older.XLSM"},
         {{"earlier.xlsx", R::OutputFile}, {"zlink.xlsx", R::OutputFile}}},
        {false,
         dir.file("zlink.xlsx"),
         sources,
         {{"earlier.xlsx", R::OutputFile},
          {"zlink.xlsx", R::OutputFile},
          {"sub/older.XLSM", R::MergeResult}}},
        // A source at the output's name stays, for the caller to refuse to replace it.
        {false, dir.file("out.csv"), sources, results},
        {true, dir.file("saved.xlsx"), everything, {}},
        // An output file that does not exist yet leaves nothing else out.
        {true, dir.file("new.xlsx"), everything, {}},
    };
    for (const Case& c : cases) {
        FolderScanOptions options = recursive();
        options.includeResults = c.includeResults;
        options.outputFile = c.output;
        const WorkbookScan scan = scanWorkbooks(dir.path().string(), options);
        EXPECT_EQ(scan.names, c.names) << c.includeResults << " " << c.output;
        EXPECT_EQ(scan.leftOut, c.leftOut) << c.includeResults << " " << c.output;
    }
    // Named as a file, a result is what the user asked for.
    EXPECT_EQ(workbookNamesOf(dir.file("earlier.xlsx")), Names{"earlier.xlsx"});
}

TEST(FolderScan, TheMarkIsReadBackOnlyFromAResult) {
    test::TempDir dir;
    test::writePlyfoldWorkbook(dir.file("marked.xlsx"), test::ResultMark::Marked);
    test::writePlyfoldWorkbook(dir.file("plain.xlsx"), test::ResultMark::Unmarked);
    test::writeWorkbook(dir.file("other.xlsx"), {"S"});
    fs::copy_file(dir.file("marked.xlsx"), dir.file("damaged.xlsx"));
    test::replacePackagePart(dir.file("damaged.xlsx"), "docProps/core.xml", "<cp:core");
    fs::copy_file(dir.file("marked.xlsx"), dir.file("edited.xlsx"));
    test::replacePackagePart(
        dir.file("edited.xlsx"), "docProps/core.xml",
        "<cp:coreProperties xmlns:cp=\"c\" xmlns:dc=\"d\"><dc:description>Merged by Plyfold, "
        "then edited</dc:description></cp:coreProperties>");
    fs::copy_file(dir.file("marked.xlsx"), dir.file("nested.xlsx"));
    test::replacePackagePart(dir.file("nested.xlsx"), "docProps/core.xml",
                             "<cp:coreProperties xmlns:cp=\"c\" xmlns:dc=\"d\"><x><dc:description>"
                             "Merged by Plyfold</dc:description></x></cp:coreProperties>");
    fs::create_directory(dir.path() / "folder.xlsx");
    const std::pair<const char*, bool> cases[] = {
        {"marked.xlsx", true},   {"plain.xlsx", false},   {"other.xlsx", false},
        {"damaged.xlsx", false}, {"edited.xlsx", false},  {"nested.xlsx", false},
        {"folder.xlsx", false},  {"missing.xlsx", false},
    };
    for (const auto& [name, marked] : cases) {
        EXPECT_EQ(automation::isMergeResultFile(dir.file(name)), marked) << name;
    }
}

TEST(FolderScan, TheWorkbookListFollowsTheFormsSubfolderSettingAndNamesWhatItLeftOut) {
    test::TempDir dir;
    test::writeFile(dir.path() / "a.csv", "1");
    touch(dir, "sub/b.csv");
    test::writePlyfoldWorkbook(dir.file("sub/result.xlsx"), test::ResultMark::Marked);
    test::RecordedForm recorded;
    controls::Form1Controls& form = recorded.form;
    form.leftOutWorkbooks = {"stale"};
    ListWorkbooks(form, dir.path().string());
    EXPECT_EQ(test::rows(form.ListView2), Names{"a.csv"});
    EXPECT_TRUE(form.leftOutWorkbooks.empty());
    form.includeSubfolders = true;
    ListWorkbooks(form, dir.path().string());
    EXPECT_EQ(test::rows(form.ListView2), (Names{"a.csv", "sub/b.csv"}));
    EXPECT_EQ(form.leftOutWorkbooks, Names{"sub/result.xlsx"});
    EXPECT_TRUE(recorded.messages.shown.empty());
}

}  // namespace
}  // namespace plyfold::discovery
