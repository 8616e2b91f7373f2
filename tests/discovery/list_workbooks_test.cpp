#include "discovery/list_workbooks.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/discovery/fixtures.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/temp_dir.h"

namespace plyfold::discovery {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// Lists the source into a hidden list still showing an unchecked row of an earlier source.
Names listed(const std::string& source) {
    test::RecordedForm recorded;
    test::ListRecorder recorder;
    controls::ListModel& list = recorded.form.ListView2;
    list.add("earlier source");
    list.setVisible(false);
    list.setObserver(&recorder);
    ListWorkbooks(recorded.form, source);
    EXPECT_TRUE(list.isVisible() && recorder.repaints > 0 && recorded.messages.shown.empty());
    return test::rows(list);
}

TEST(ListWorkbooks, ListsTheSpreadsheetFilesOfAFolderByTypeThenInNaturalOrder) {
    const std::pair<Names, Names> cases[] = {
        {{"d.txt", "f.doc", "c.csv", "e.dbf", "b.XLS", "a.xls", "g.xlsx", "h.XLSM", "i.xlsb",
          "k.csv.bak", "noext", "l.Csv", "m.TXT", ".h.xls", ".hidden.csv"},
         {"a.xls", "b.XLS", "g.xlsx", "h.XLSM", "c.csv", "l.Csv", "e.dbf", "d.txt", "m.TXT"}},
        {{"file10.csv", "file2.csv", "File1.csv", "file02b.csv", "B.xls", "a.xls", "a.XLS"},
         {"a.XLS", "a.xls", "B.xls", "File1.csv", "file2.csv", "file02b.csv", "file10.csv"}},
        {{"- dash.xls", "with blank.csv", "q\"'.txt", "\xC3\xBCn\xC3\xAF.xlsx", "--help.csv"},
         {"- dash.xls", "\xC3\xBCn\xC3\xAF.xlsx", "--help.csv", "with blank.csv", "q\"'.txt"}},
        {{}, {}},
        {{"a.doc", "b.xlsb", "c", "t.xltx", "u.XLTM", "d.dbf.txt.", "e.csv "}, {}},
    };
    for (const auto& [files, expected] : cases) {
        test::TempDir dir;
        fs::create_directory(dir.path() / "x.xls");  // folders are never listed
        for (const auto& name : files) {
            test::writeFile(dir.path() / name, "x");
        }
        EXPECT_EQ(listed(dir.path().string()), expected);
        EXPECT_EQ(listed(dir.path().string() + "/"), expected);
    }
}

TEST(ListWorkbooks, AFileIsItsOwnRowLinksCountWhenTheyEndAtAFileAndNothingListsNothing) {
    test::TempDir dir;
    for (const char* name : {"report.doc", "-x", ".hidden.xls", "real.xls", "f/inner.csv"}) {
        fs::create_directories((dir.path() / name).parent_path());
        test::writeFile(dir.path() / name, "x");
    }
    fs::create_symlink(dir.path() / "real.xls", dir.path() / "to-file.xls");
    fs::create_symlink(dir.path() / "f", dir.path() / "to-folder.xls");
    fs::create_symlink(dir.path() / "loop.csv", dir.path() / "loop.csv");
    fs::create_symlink(dir.path() / "missing.dbf", dir.path() / "dangling.dbf");
    EXPECT_EQ(listed(dir.file("report.doc")), Names{"report.doc"});
    EXPECT_EQ(listed(dir.file("-x")), Names{"-x"});
    EXPECT_EQ(listed(dir.file("to-file.xls")), Names{"to-file.xls"});
    EXPECT_EQ(listed(dir.path().string()), (Names{"real.xls", "to-file.xls"}));
    EXPECT_EQ(listed(dir.file("to-folder.xls")), Names{"inner.csv"});
    for (const std::string& nothing : {std::string(), dir.file("gone"), dir.file("gone/a.xls"),
                                       dir.file(".hidden.xls"), dir.file("*.xls")}) {
        EXPECT_EQ(listed(nothing), Names{}) << nothing;
    }
}

TEST(ListWorkbooks, AFolderThatCannotBeListedListsNothingQuietlyAndReturnsTheFailure) {
    test::TempDir dir;
    fs::create_directory(dir.path() / "locked");
    test::writeFile(dir.path() / "locked" / "a.xls", "x");
    test::writeFile(dir.path() / "open.csv", "x");
    test::FailingFileSystem files;
    files.fail(test::FileOperation::List, dir.file("locked"), EACCES);
    files.fail(test::FileOperation::List, dir.file("broken"), EIO);
    fs::create_directory(dir.path() / "broken");

    const std::pair<std::string, int> cases[] = {
        {dir.file("locked"), 75}, {dir.file("broken"), 75}, {dir.file("gone"), 53}};
    for (const auto& [source, number] : cases) {
        EXPECT_EQ(listed(source), Names{}) << source;
        test::RecordedForm recorded;
        recorded.form.ListView2.add("earlier source");
        std::optional<files::FileError> failure = ListWorkbooks(recorded.form, source);
        EXPECT_EQ(test::rows(recorded.form.ListView2), Names{});
        EXPECT_TRUE(recorded.messages.shown.empty());
        ASSERT_TRUE(failure.has_value()) << source;
        EXPECT_EQ(failure->number(), number);
        EXPECT_EQ(failure->path(), source);
        EXPECT_NE(failure->description().find("'" + source + "'"), std::string::npos)
            << failure->description();
        EXPECT_THROW(workbookNamesOf(source), files::FileError);
    }
    EXPECT_EQ(files.failuresGiven(), 6);

    test::RecordedForm recorded;
    EXPECT_EQ(ListWorkbooks(recorded.form, dir.path().string()), std::nullopt);
    EXPECT_EQ(test::rows(recorded.form.ListView2), Names{"open.csv"});
}

TEST(ListWorkbooks, ListsAFolderOfTwentyThousandFilesInOrder) {
    constexpr int kFiles = 20000;
    test::TempDir dir;
    Names expected;
    for (int i = 0; i < kFiles; ++i) {
        expected.push_back("book" + std::to_string(i) + ".csv");
        test::writeFile(dir.path() / expected.back(), "");
    }
    EXPECT_EQ(listed(dir.path().string()), expected);
}

}  // namespace
}  // namespace plyfold::discovery
