#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "controls/form1_controls.h"
#include "discovery/path_helpers.h"
#include "tests/support/temp_dir.h"

namespace plyfold::discovery {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::writeFile;

class PathKindTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir.path() / "data");
        fs::create_directory(dir.path() / ".hidden folder");
        writeFile(dir.path() / "data" / "a.xls", "x");
        writeFile(dir.path() / "data" / ".secret.xls", "x");
        writeFile(dir.path() / "read only.xlsx", "x");
        fs::permissions(dir.path() / "read only.xlsx", fs::perms::owner_read);
        fs::create_symlink(dir.path() / "data" / "a.xls", dir.path() / "link.xls");
        fs::create_symlink(dir.path() / "loop", dir.path() / "loop");
    }
    std::string at(const std::string& relative) const { return dir.file(relative); }
    TempDir dir;
};

TEST_F(PathKindTest, ClassifiesFilesFoldersAndWhatIsMissing) {
    struct Case {
        std::string path;
        int kind;
    };
    const Case cases[] = {
        {"", kPathMissing},
        {at("data"), kPathFolder},
        {at("data") + "/", kPathFolder},
        {at("data") + "//", kPathFolder},
        {"/", kPathFolder},
        {at("data/a.xls"), kPathFile},
        {at("read only.xlsx"), kPathFile},
        {at("link.xls"), kPathFile},
        {at("data/a.xls") + "/", kPathMissing},
        {at("data/.secret.xls"), kPathMissing},
        {at(".hidden folder"), kPathMissing},
        {at("data/*.xls"), kPathMissing},
        {at("data/a.xl?"), kPathMissing},
        {at("nothing.xls"), kPathMissing},
        {at("loop"), kPathMissing},
        {std::string("/tmp\0/x", 7), kPathMissing},
        {std::string(5000, 'a'), kPathMissing},
        {"/dev/null", kPathMissing},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetPathKind(c.path), c.kind) << c.path;
    }
}

TEST(FileExtension, TakesTheTextAfterTheLastFullStopOrBlank) {
    struct Case {
        const char* name;
        const char* extension;
    };
    const Case cases[] = {
        {"Book1.XLSX", "xlsx"},
        {"archive.tar.gz", "gz"},
        {"report 2009", "2009"},
        {"README", "readme"},
        {"", ""},
        {"trailing.", ""},
        {"trailing ", ""},
        {"/my data/report", "data/report"},
        {"/data/list.Csv", "csv"},
        {"/data.d/file", "d/file"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetFileExtension(c.name), c.extension) << c.name;
    }
    EXPECT_EQ(GetFileExtension(std::string(32768, 'a') + ".txt"), "");
    EXPECT_EQ(GetFileExtension(std::string(32763, 'a') + ".txt"), "txt");
}

// By the type of what GetFileExtension gives, which stops at a blank as well as at a ".".
TEST(SourceIcon, FollowsTheFileType) {
    const std::pair<const char*, int> cases[] = {
        {"/a/b.TXT", kIconText},
        {"/a/b.csv", kIconCsv},
        {"/a/b.Dbf", kIconDbf},
        {"/a/b.xlsx", kIconWorkbook},
        {"/a/noextension", kIconWorkbook},
        {"/my files/notes txt", kIconText},
        {"/a/b.txt ", kIconWorkbook},
        {"/data.csv/list", kIconWorkbook},
        {"csv", kIconCsv},
        {"/a/b.tsv", kIconWorkbook},
    };
    for (const auto& [path, icon] : cases) {
        EXPECT_EQ(SourceIconForFile(path), icon) << path;
    }
}

class WorkbookPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir.path() / "data");
        writeFile(dir.path() / "data" / "a.xls", "x");
        writeFile(dir.path() / "single.xlsx", "x");
    }
    void source(const std::string& text) { form.ListView1.select(form.ListView1.add(text)); }
    TempDir dir;
    controls::Form1Controls form;
};

TEST_F(WorkbookPathTest, AFolderSourceJoinsTheSelectedWorkbookOnce) {
    source(dir.file("data"));
    form.ListView2.select(form.ListView2.add("a.xls"));
    EXPECT_EQ(GetSelectedWorkbookPath(form), dir.file("data") + "/a.xls");
    form.ListView1.setText(1, dir.file("data") + "/");
    EXPECT_EQ(GetSelectedWorkbookPath(form), dir.file("data") + "/a.xls");
    EXPECT_EQ(GetWorkbookPathAt(form, 1), dir.file("data") + "/a.xls");
}

TEST_F(WorkbookPathTest, NothingIsDesignatedWithoutAnExistingWorkbook) {
    EXPECT_EQ(GetSelectedWorkbookPath(form), "") << "empty source list";
    source(dir.file("data"));
    EXPECT_EQ(GetSelectedWorkbookPath(form), "") << "empty workbook list";
    form.ListView2.add("a.xls");
    EXPECT_EQ(GetSelectedWorkbookPath(form), "") << "no selected workbook";
    EXPECT_EQ(GetWorkbookPathAt(form, 2), "") << "row outside the list";
    form.ListView2.select(1);
    fs::remove(dir.path() / "data" / "a.xls");
    EXPECT_EQ(GetSelectedWorkbookPath(form), "") << "deleted since listed";
    form.ListView1.setText(1, dir.file("gone"));
    EXPECT_EQ(GetSelectedWorkbookPath(form), "") << "missing source";
}

TEST_F(WorkbookPathTest, AFileSourceIsItsOwnWorkbook) {
    source(dir.file("single.xlsx"));
    form.ListView2.select(form.ListView2.add("whatever.xls"));
    EXPECT_EQ(GetSelectedWorkbookPath(form), dir.file("single.xlsx"));
    EXPECT_EQ(GetWorkbookPathAt(form, 1), dir.file("single.xlsx"));
}

TEST(JoinPath, NeverDoublesTheSeparator) {
    EXPECT_EQ(JoinPath("/", "a.xls"), "/a.xls");
    EXPECT_EQ(JoinPath("/data", "a.xls"), "/data/a.xls");
    EXPECT_EQ(JoinPath("/data/", "a.xls"), "/data/a.xls");
}

}  // namespace
}  // namespace plyfold::discovery
