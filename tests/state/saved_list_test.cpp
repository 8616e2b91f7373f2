#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "controls/list_model.h"
#include "discovery/path_helpers.h"
#include "engine/common/file_access.h"
#include "state/saved_list.h"
#include "state/text_file.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/temp_dir.h"

namespace plyfold::state {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(SplitLines, EndsLinesAtCrLfAndLoneCrButNotLoneLf) {
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb", {"a", "b"}},
        {"a\nb\r\n", {"a\nb"}},
        {"last", {"last"}},
        {"\r\n\r\n", {"", ""}},
        {"a\r\r\nb", {"a", "", "b"}},
        {std::string("x\0y\r\n", 5), {std::string("x\0y", 3)}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(splitLines(c.bytes), c.lines) << c.bytes;
    }
}

class SavedListTest : public ::testing::Test {
protected:
    std::string listFile() const { return dir.file("EXCEL.txt"); }
    std::string settingsFile() const { return dir.file("set.txt"); }
    void fill(std::initializer_list<const char*> rows) {
        for (const char* row : rows) {
            list.add(row);
        }
    }
    TempDir dir;
    controls::ListModel list;
};

TEST_F(SavedListTest, RestoreGivesEveryLineARowWithItsIcon) {
    std::filesystem::create_directory(dir.path() / "folder");
    writeFile(dir.path() / "book.xlsx", "x");
    writeFile(dir.path() / "data.CSV", "x");
    writeFile(dir.path() / "notes.txt", "x");
    writeFile(dir.path() / "table.dbf", "x");
    std::string lines = dir.file("book.xlsx") + "\r\n" + dir.file("folder") + "\r\n" +
                        dir.file("gone") + "\r\n" + dir.file("data.CSV") + "\r\n" +
                        dir.file("notes.txt") + "\r\n" + dir.file("table.dbf") + "\r\n" +
                        dir.file("book.xlsx") + "\r\n\r\n";
    writeFile(listFile(), lines);
    restoreSourceList(dir.path().string(), list, discovery::SourceIconForPath);
    ASSERT_EQ(list.count(), 8);
    const int icons[] = {1, 2, 3, 5, 4, 6, 1, 3};
    for (int row = 1; row <= 8; ++row) {
        EXPECT_EQ(list.smallIcon(row), icons[row - 1]) << list.text(row);
    }
    EXPECT_EQ(list.text(7), dir.file("book.xlsx"));
    EXPECT_EQ(list.text(8), "");
    EXPECT_FALSE(list.hasSelection());
    EXPECT_EQ(readFile(listFile()), lines) << "the restore never writes the file";
}

TEST_F(SavedListTest, RestoreOfAMissingOrEmptyFileGivesAnEmptyList) {
    restoreSourceList(dir.path().string(), list, discovery::SourceIconForPath);
    EXPECT_EQ(list.count(), 0);
    writeFile(listFile(), "");
    restoreSourceList(dir.path().string(), list, discovery::SourceIconForPath);
    EXPECT_EQ(list.count(), 0);
}

TEST_F(SavedListTest, RestoreKeepsAnyBytes) {
    std::string garbage;
    for (int i = 0; i < 256; ++i) {
        if (i != '\r') {
            garbage += static_cast<char>(i);
        }
    }
    std::string bytes;
    for (int i = 0; i < 20000; ++i) {
        bytes += garbage + "\r\n";
    }
    writeFile(listFile(), bytes);
    restoreSourceList(dir.path().string(), list, discovery::SourceIconForPath);
    ASSERT_EQ(list.count(), 20000);
    EXPECT_EQ(list.text(1), garbage);
    EXPECT_EQ(list.smallIcon(1), 3);
}

TEST_F(SavedListTest, SaveWritesEveryRowWithCrLfUnlessTheFlagIsZero) {
    struct Case {
        const char* settings;  // nullptr: no settings file
        bool saved;
    };
    const Case cases[] = {
        {"1\r\n", true},     {"0\r\n", false}, {"0", false}, {"0\r\n1\r\n", false},
        {"yes\r\n", true},   {"0 \r\n", true}, {"", true},   {nullptr, true},
        {"\r\n0\r\n", true},
    };
    for (const Case& c : cases) {
        TempDir folder;
        if (c.settings) {
            writeFile(folder.file("set.txt"), c.settings);
        }
        writeFile(folder.file("EXCEL.txt"), "old\r\n");
        controls::ListModel rows;
        rows.add("/a/one.xlsx");
        rows.add("/b/two folder");
        rows.add("/a/one.xlsx");
        saveSourceList(folder.path().string(), rows);
        std::string expected =
            c.saved ? "/a/one.xlsx\r\n/b/two folder\r\n/a/one.xlsx\r\n" : "old\r\n";
        EXPECT_EQ(readFile(folder.file("EXCEL.txt")), expected)
            << (c.settings ? c.settings : "(no settings file)");
    }
}

TEST_F(SavedListTest, SaveOfAnEmptyListWritesAnEmptyFileAndLeavesNoTemporary) {
    writeFile(settingsFile(), "1\r\n");
    writeFile(listFile(), "old\r\n");
    saveSourceList(dir.path().string(), list);
    EXPECT_EQ(readFile(listFile()), "");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              2);
}

TEST_F(SavedListTest, ALongListIsSavedWhole) {
    for (int i = 0; i < 40000; ++i) {
        list.add("/data/" + std::to_string(i) + ".xlsx");
    }
    saveSourceList(dir.path().string(), list);
    controls::ListModel restored;
    restoreSourceList(dir.path().string(), restored, discovery::SourceIconForPath);
    ASSERT_EQ(restored.count(), 40000);
    EXPECT_EQ(restored.text(40000), "/data/39999.xlsx");
}

TEST_F(SavedListTest, AFailedSaveKeepsTheOldFileWholeAndReportsIt) {
    struct Case {
        const char* what;
        test::FileOperation operation;
        int error;
        uint64_t afterBytes;
    };
    const Case cases[] = {
        {"an unwritable folder", test::FileOperation::Create, EACCES, 0},
        {"a disk full part way", test::FileOperation::Write, ENOSPC, 2},
        {"a failed flush", test::FileOperation::Sync, EIO, 0},
        {"a failed rename", test::FileOperation::Rename, EIO, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir folder;
        writeFile(folder.file("EXCEL.txt"), "kept\r\n");
        writeFile(folder.file("set.txt"), "1\r\n");
        controls::ListModel rows;
        rows.add("/new.xlsx");
        test::FailingFileSystem files;
        files.fail(c.operation, folder.path().string(), c.error, c.afterBytes);
        for (const std::string name : {"EXCEL.txt", "set.txt"}) {
            try {
                if (name == "EXCEL.txt") {
                    saveSourceList(folder.path().string(), rows);
                } else {
                    writeAutoSaveFlag(folder.path().string(), 0);
                }
                ADD_FAILURE() << name << " saved";
            } catch (const files::FileError& error) {
                EXPECT_EQ(error.number(), 75);
                EXPECT_EQ(error.path(), folder.file(name));
                EXPECT_NE(error.description().find("'" + folder.file(name) + "'"),
                          std::string::npos);
            }
        }
        EXPECT_EQ(files.failuresGiven(), 2);
        EXPECT_EQ(readFile(folder.file("EXCEL.txt")), "kept\r\n");
        EXPECT_EQ(readFile(folder.file("set.txt")), "1\r\n");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                                std::filesystem::directory_iterator()),
                  2);
    }
}

TEST_F(SavedListTest, AMissingProgramFolderIsNotCreated) {
    fill({"/x.xlsx"});
    try {
        saveSourceList((dir.path() / "missing").string(), list);
        ADD_FAILURE() << "saved";
    } catch (const files::FileError& error) {
        EXPECT_EQ(error.number(), 53);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

TEST_F(SavedListTest, FilesThatCannotBeReadCountAsAbsent) {
    writeFile(listFile(), "/a.xlsx\r\n");
    writeFile(settingsFile(), "0\r\n");
    test::FailingFileSystem files;
    files.fail(test::FileOperation::Read, listFile(), EIO);
    files.fail(test::FileOperation::Open, settingsFile(), EACCES);
    restoreSourceList(dir.path().string(), list, discovery::SourceIconForPath);
    EXPECT_EQ(list.count(), 0);
    // An unreadable "0" does not stop the save, so the dialog shows saving on.
    EXPECT_EQ(readAutoSaveFlag(dir.path().string()), 1);
    files.clearFailures();
    files.fail(test::FileOperation::Open, settingsFile(), EACCES);
    fill({"/b.xlsx"});
    saveSourceList(dir.path().string(), list);
    EXPECT_EQ(readFile(listFile()), "/b.xlsx\r\n");
    EXPECT_EQ(files.failuresGiven(), 3);
}

// The dialog's box and the save at exit agree on every settings file: unchecked exactly when
// the save leaves the list alone.
TEST_F(SavedListTest, TheDialogsFlagIsWhatTheSaveAtExitDoes) {
    struct Case {
        const char* settings;  // nullptr: no file
        int checked;
    };
    for (const Case& c :
         {Case{nullptr, 1}, Case{"", 1}, Case{"1\r\n", 1}, Case{"1", 1}, Case{"0\r\n", 0},
          Case{"0", 0}, Case{"0\r\n1\r\n", 0}, Case{"0\r\ndelimiter=tab\r\n", 0},
          Case{"yes\r\n", 1}, Case{"2\r\n", 1}, Case{"0 \r\n", 1}, Case{" 0\r\n", 1},
          Case{"00\r\n", 1}, Case{"\r\n0\r\n", 1}, Case{"0\n1\r\n", 1},
          Case{"1\r\ndelimiter=tab\r\n", 1}}) {
        SCOPED_TRACE(c.settings ? c.settings : "no file");
        std::filesystem::remove(settingsFile());
        if (c.settings) {
            writeFile(settingsFile(), c.settings);
        }
        EXPECT_EQ(readAutoSaveFlag(dir.path().string()), c.checked);
        writeFile(listFile(), "/old.xlsx\r\n");
        list.clear();
        fill({"/new.xlsx"});
        saveSourceList(dir.path().string(), list);
        EXPECT_EQ(readFile(listFile()), c.checked ? "/new.xlsx\r\n" : "/old.xlsx\r\n");
    }
}

TEST_F(SavedListTest, WritingTheFlagLeavesOneLine) {
    writeAutoSaveFlag(dir.path().string(), 0);
    EXPECT_EQ(readFile(settingsFile()), "0\r\n");
    writeAutoSaveFlag(dir.path().string(), 1);
    EXPECT_EQ(readFile(settingsFile()), "1\r\n");
}

engine::TextDialect dialectOf(char delimiter, engine::DecimalSeparator decimal,
                              engine::DateOrder order) {
    return engine::TextDialect{delimiter, decimal, order};
}

// The text settings live on the lines after the flag; whatever is missing, unknown or not of
// the exact key reads as automatic, and the first line is the flag even when it looks like a
// setting.
TEST_F(SavedListTest, TextSettingsAreReadFromTheLinesAfterTheFlag) {
    using engine::DateOrder;
    using engine::DecimalSeparator;
    const engine::TextDialect automatic;
    struct Case {
        const char* settings;  // nullptr: no file
        engine::TextDialect dialect;
    };
    const Case cases[] = {
        {nullptr, automatic},
        {"1\r\n", automatic},
        {"1\r\ndelimiter=semicolon\r\ndecimal=comma\r\ndate-order=dmy\r\n",
         dialectOf(';', DecimalSeparator::Comma, DateOrder::DayMonthYear)},
        {"0\r\ndelimiter=;\r\n", dialectOf(';', DecimalSeparator::Automatic, DateOrder::Automatic)},
        {"0\r\ndelimiter=\t\r\n",
         dialectOf('\t', DecimalSeparator::Automatic, DateOrder::Automatic)},
        {"0\r\ndelimiter=|\r\ndate-order=mdy",
         dialectOf('|', DecimalSeparator::Automatic, DateOrder::MonthDayYear)},
        {"\r\ndelimiter= Tab \r\ndecimal=POINT\r\ndate-order=Ymd\r\n",
         dialectOf('\t', DecimalSeparator::Point, DateOrder::YearMonthDay)},
        {"delimiter=pipe\r\n", automatic},
        {"1\r\ndelimiter=colon\r\ndecimal=dot\r\ndate-order=dym\r\n", automatic},
        {"1\r\ndelimiter=:\r\ndelimiter=\r\ndecimal=\r\n", automatic},
        {"1\r\ndelimiter =tab\r\nDecimal=comma\r\ndateorder=dmy\r\n", automatic},
        {"1\r\ndelimiter=tab\r\ndelimiter=comma\r\n",
         dialectOf(',', DecimalSeparator::Automatic, DateOrder::Automatic)},
        {"1\r\ndelimiter=tab\r\ndelimiter=nonsense\r\n", automatic},
        {"1\ndelimiter=tab\r\n", automatic},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings ? c.settings : "no file");
        std::filesystem::remove(settingsFile());
        if (c.settings) {
            writeFile(settingsFile(), c.settings);
        }
        EXPECT_EQ(readTextDialect(dir.path().string()), c.dialect);
    }
}

TEST_F(SavedListTest, EveryTextSettingReadsBackAsWritten) {
    using engine::DateOrder;
    using engine::DecimalSeparator;
    // Every value of each setting at least once.
    const engine::TextDialect dialects[] = {
        dialectOf('\0', DecimalSeparator::Automatic, DateOrder::Automatic),
        dialectOf(',', DecimalSeparator::Point, DateOrder::DayMonthYear),
        dialectOf(';', DecimalSeparator::Comma, DateOrder::MonthDayYear),
        dialectOf('\t', DecimalSeparator::Automatic, DateOrder::YearMonthDay),
        dialectOf('|', DecimalSeparator::Point, DateOrder::Automatic),
    };
    for (const engine::TextDialect& dialect : dialects) {
        writeSettings(dir.path().string(), 1, dialect);
        EXPECT_EQ(readTextDialect(dir.path().string()), dialect) << readFile(settingsFile());
        EXPECT_EQ(readAutoSaveFlag(dir.path().string()), 1);
    }
}

// Each writer keeps what the other wrote, and any line it does not know; the flag stays the
// first line, the one the list's save and older readers look at.
TEST_F(SavedListTest, TheFlagAndTheTextSettingsKeepEachOther) {
    const std::string folder = dir.path().string();
    writeFile(settingsFile(), "1\r\ndelimiter=tab\r\nlater=kept\r\n");
    writeAutoSaveFlag(folder, 0);
    EXPECT_EQ(readFile(settingsFile()), "0\r\ndelimiter=tab\r\nlater=kept\r\n");
    EXPECT_EQ(readTextDialect(folder).delimiter, '\t');

    writeSettings(folder, 1,
                  dialectOf(';', engine::DecimalSeparator::Comma, engine::DateOrder::DayMonthYear));
    EXPECT_EQ(readFile(settingsFile()),
              "1\r\ndelimiter=semicolon\r\ndecimal=comma\r\ndate-order=dmy\r\nlater=kept\r\n");
    fill({"/kept.xlsx"});
    saveSourceList(folder, list);
    EXPECT_EQ(readFile(listFile()), "/kept.xlsx\r\n");

    writeSettings(folder, 0, {});
    EXPECT_EQ(readFile(settingsFile()),
              "0\r\ndelimiter=automatic\r\ndecimal=automatic\r\ndate-order=automatic\r\nlater="
              "kept\r\n");
    fill({"/not saved.xlsx"});
    saveSourceList(folder, list);
    EXPECT_EQ(readFile(listFile()), "/kept.xlsx\r\n") << "a \"0\" flag line stops the save";
    EXPECT_EQ(readAutoSaveFlag(folder), 0);

    // Without a file, the flag alone is written.
    std::filesystem::remove(settingsFile());
    writeAutoSaveFlag(folder, 1);
    EXPECT_EQ(readFile(settingsFile()), "1\r\n");
}

TEST_F(SavedListTest, TextSettingsAreNotWrittenOverSomethingThatIsNoFile) {
    std::filesystem::create_directory(settingsFile());
    EXPECT_THROW(writeSettings(dir.path().string(), 1, {}), StateFileRefused);
    EXPECT_TRUE(std::filesystem::is_directory(settingsFile()));
    EXPECT_EQ(readTextDialect(dir.path().string()), engine::TextDialect{});
}

// A file past the bound gives the lines that end within it; the line cut by the bound is left
// out, and nothing past it is read.
TEST_F(SavedListTest, RestoreReadsNoFurtherThanTheBound) {
    const std::string line = std::string(99, 'p') + "\r\n";  // 101 bytes
    const size_t whole = kMostStateFileBytes / line.size();
    struct Case {
        const char* what;
        std::string bytes;
        size_t rows;
    };
    const Case cases[] = {
        {"just within", std::string(kMostStateFileBytes - 2, 'x') + "\r\n", 1},
        {"a line cut by the bound",
         [&] {
             std::string bytes;
             for (size_t i = 0; i <= whole; ++i) {
                 bytes += line;
             }
             return bytes;
         }(),
         whole},
        {"one line longer than the bound", std::string(kMostStateFileBytes + 10, 'x'), 0},
        {"a CR LF split by the bound", std::string(kMostStateFileBytes - 1, 'x') + "\r\nnext\r\n",
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(listFile(), c.bytes);
        controls::ListModel rows;
        restoreSourceList(dir.path().string(), rows, [](const std::string&) { return 1; });
        ASSERT_EQ(static_cast<size_t>(rows.count()), c.rows);
        if (c.rows > 0) {
            EXPECT_EQ(rows.text(rows.count()).find('\n'), std::string::npos);
        }
    }
}

// Whatever is at either name: reading never blocks or reads without end, and gives nothing for
// anything that is not a file; writing replaces a link itself and refuses anything else.
TEST_F(SavedListTest, NamesTakenByOtherThingsAreNeverFollowedOrOverwritten) {
    enum class Write { Replaced, Refused };
    struct Case {
        const char* what;
        std::function<void(const std::string& name, const std::string& elsewhere)> make;
        Write write;
    };
    const Case cases[] = {
        {"a pipe",
         [](const std::string& name, const std::string&) {
             ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
         },
         Write::Refused},
        {"a folder",
         [](const std::string& name, const std::string&) {
             std::filesystem::create_directory(name);
         },
         Write::Refused},
        {"a link to a pipe",
         [](const std::string& name, const std::string& elsewhere) {
             ASSERT_EQ(::mkfifo(elsewhere.c_str(), 0600), 0);
             std::filesystem::create_symlink(elsewhere, name);
         },
         Write::Replaced},
        {"a link to a file of someone else's",
         [](const std::string& name, const std::string& elsewhere) {
             writeFile(elsewhere, "0\r\n");
             std::filesystem::create_symlink(elsewhere, name);
         },
         Write::Replaced},
        {"a link to a folder",
         [](const std::string& name, const std::string& elsewhere) {
             std::filesystem::create_directory(elsewhere);
             std::filesystem::create_symlink(elsewhere, name);
         },
         Write::Replaced},
        {"a link to nothing",
         [](const std::string& name, const std::string& elsewhere) {
             std::filesystem::create_symlink(elsewhere, name);
         },
         Write::Replaced},
    };
    for (const Case& c : cases) {
        for (const char* name : {"EXCEL.txt", "set.txt"}) {
            SCOPED_TRACE(std::string(c.what) + " as " + name);
            TempDir folder;
            TempDir other;
            const std::string path = folder.file(name);
            const std::string elsewhere = other.file("target");
            c.make(path, elsewhere);
            const auto elsewhereBefore = std::filesystem::symlink_status(elsewhere).type();
            const std::string elsewhereBytes =
                elsewhereBefore == std::filesystem::file_type::regular ? readFile(elsewhere) : "";

            // A link to a file is read as that file.
            const bool isList = std::string(name) == "EXCEL.txt";
            const bool readable = elsewhereBefore == std::filesystem::file_type::regular;
            controls::ListModel rows;
            restoreSourceList(folder.path().string(), rows, discovery::SourceIconForPath);
            EXPECT_EQ(rows.count(), isList && readable ? 1 : 0);
            // Only a readable "0" turns saving off.
            EXPECT_EQ(readAutoSaveFlag(folder.path().string()), !isList && readable ? 0 : 1);

            rows.add("/saved.xlsx");
            try {
                if (isList) {
                    writeFile(folder.file("set.txt"), "1\r\n");
                    saveSourceList(folder.path().string(), rows);
                } else {
                    writeAutoSaveFlag(folder.path().string(), 1);
                }
                EXPECT_EQ(c.write, Write::Replaced);
                EXPECT_EQ(std::filesystem::symlink_status(path).type(),
                          std::filesystem::file_type::regular);
            } catch (const StateFileRefused& refused) {
                EXPECT_EQ(c.write, Write::Refused);
                EXPECT_EQ(refused.path(), path);
                EXPECT_EQ(refused.description(),
                          "'" + path + "' is not a regular file, so it was left as it is.");
                EXPECT_NE(std::filesystem::symlink_status(path).type(),
                          std::filesystem::file_type::regular);
            }
            if (c.write == Write::Replaced) {
                EXPECT_EQ(readFile(path), isList && readable ? "0\r\n/saved.xlsx\r\n"
                                          : isList           ? "/saved.xlsx\r\n"
                                                             : "1\r\n");
            }
            // What a link pointed at is as it was.
            EXPECT_EQ(std::filesystem::symlink_status(elsewhere).type(), elsewhereBefore);
            if (elsewhereBefore == std::filesystem::file_type::regular) {
                EXPECT_EQ(readFile(elsewhere), elsewhereBytes);
            }
        }
    }
}

}  // namespace
}  // namespace plyfold::state
