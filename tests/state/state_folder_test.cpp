#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>

#include "controls/list_model.h"
#include "engine/common/file_access.h"
#include "state/saved_list.h"
#include "state/state_folder.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/temp_dir.h"

namespace plyfold::state {
namespace {

namespace fs = std::filesystem;
using test::FileOperation;
using test::namesIn;
using test::readFile;
using test::TempDir;
using test::writeFile;

// A program folder that cannot be written is stood in for by the file-access double (a rule
// that refuses to create files there), so the test needs no read-only mount and no root.
TEST(StateFolder, ProgramFolderWhenItIsWritableOrHoldsTheFilesElseTheConfigurationFolder) {
    enum class Chosen { Program, Config };
    struct Case {
        const char* what;
        bool programWritable;
        std::function<void(const fs::path& program, const fs::path& config)> prepare;
        bool configEmpty;
        Chosen chosen;
    };
    const auto nothing = [](const fs::path&, const fs::path&) {};
    const Case cases[] = {
        {"a writable program folder", true, nothing, false, Chosen::Program},
        {"a writable program folder holding the list", true,
         [](const fs::path& program, const fs::path&) {
             writeFile(program / "EXCEL.txt", "/a.xlsx\r\n");
         },
         false, Chosen::Program},
        {"an unwritable program folder", false, nothing, false, Chosen::Config},
        {"an unwritable portable copy with its list", false,
         [](const fs::path& program, const fs::path&) {
             writeFile(program / "EXCEL.txt", "/a.xlsx\r\n");
         },
         false, Chosen::Program},
        {"an unwritable portable copy with its settings", false,
         [](const fs::path& program, const fs::path&) { writeFile(program / "set.txt", "0\r\n"); },
         false, Chosen::Program},
        {"an unwritable portable copy whose list is a link", false,
         [](const fs::path& program, const fs::path&) {
             fs::create_symlink("/nowhere", program / "EXCEL.txt");
         },
         false, Chosen::Program},
        {"an unwritable program folder holding other files", false,
         [](const fs::path& program, const fs::path&) {
             writeFile(program / "excel.txt", "");
             writeFile(program / "help.chm", "");
         },
         false, Chosen::Config},
        {"an unwritable program folder and a configuration folder already there", false,
         [](const fs::path&, const fs::path& config) {
             fs::create_directories(config);
             writeFile(config / "set.txt", "1\r\n");
         },
         false, Chosen::Config},
        {"no configuration folder known", false, nothing, true, Chosen::Program},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir root;
        const fs::path program = root.path() / "bin";
        const fs::path config = root.path() / "home" / ".config" / "Plyfold";
        fs::create_directory(program);
        c.prepare(program, config);
        const std::vector<std::string> before = namesIn(program);
        test::FailingFileSystem files;
        if (!c.programWritable) {
            files.fail(FileOperation::Create, program.string(), EACCES);
        }
        const std::string chosen =
            chooseStateFolder(program.string(), c.configEmpty ? "" : config.string());
        EXPECT_EQ(chosen, c.chosen == Chosen::Program ? program.string() : config.string());
        // The test for writing leaves nothing behind.
        EXPECT_EQ(namesIn(program), before);
        if (c.chosen == Chosen::Config) {
            ASSERT_TRUE(fs::is_directory(config));
        } else if (!c.configEmpty) {
            EXPECT_FALSE(fs::exists(root.path() / "home"));
        }
    }
}

TEST(StateFolder, AConfigurationFolderMadeHereIsItsOwnersOnly) {
    TempDir root;
    const fs::path config = root.path() / "config" / "Plyfold";
    test::FailingFileSystem files;
    files.fail(FileOperation::Create, root.path().string(), EACCES);
    ASSERT_EQ(chooseStateFolder(root.path().string(), config.string()), config.string());
    struct stat info {};
    ASSERT_EQ(::stat(config.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u);
}

// A configuration folder that cannot be made is still where the files go: reading them finds
// nothing, and the save fails with an error that names the file, for the window to report.
TEST(StateFolder, AConfigurationFolderThatCannotBeMadeLeavesTheSaveToFail) {
    struct Case {
        const char* what;
        std::function<void(test::FailingFileSystem&, const fs::path& config)> prepare;
    };
    const Case cases[] = {
        {"creating it is refused",
         [](test::FailingFileSystem& files, const fs::path& config) {
             files.fail(FileOperation::MakeFolder, config.string(), EACCES);
         }},
        {"a file in its place",
         [](test::FailingFileSystem&, const fs::path& config) {
             fs::create_directories(config.parent_path());
             writeFile(config, "not a folder");
         }},
        {"a file in the place of the folder above it",
         [](test::FailingFileSystem&, const fs::path& config) {
             writeFile(config.parent_path(), "not a folder");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir root;
        const fs::path program = root.path() / "bin";
        const fs::path config = root.path() / "config" / "Plyfold";
        fs::create_directory(program);
        test::FailingFileSystem files;
        files.fail(FileOperation::Create, program.string(), EACCES);
        c.prepare(files, config);
        ASSERT_EQ(chooseStateFolder(program.string(), config.string()), config.string());
        EXPECT_FALSE(fs::is_directory(config));
        controls::ListModel list;
        restoreSourceList(config.string(), list, [](const std::string&) { return 1; });
        EXPECT_EQ(list.count(), 0);
        EXPECT_EQ(readAutoSaveFlag(config.string()), 1);
        list.add("/a.xlsx");
        EXPECT_THROW(saveSourceList(config.string(), list), files::FileError);
    }
}

TEST(CreateFolders, MakesEveryMissingFolderAndNamesTheOneItCannot) {
    TempDir root;
    const fs::path deep = root.path() / "a" / "b" / "c";
    files::createFolders(deep.string(), 0755);
    EXPECT_TRUE(fs::is_directory(deep));
    // Again, and with a separator at the end: nothing to do.
    files::createFolders(deep.string(), 0755);
    files::createFolders(deep.string() + "/", 0755);

    test::FailingFileSystem failing;
    failing.fail(FileOperation::MakeFolder, (root.path() / "x" / "y").string(), ENOSPC);
    try {
        files::createFolders((root.path() / "x" / "y" / "z").string(), 0755);
        ADD_FAILURE() << "created";
    } catch (const files::FileError& error) {
        EXPECT_EQ(error.path(), (root.path() / "x" / "y").string());
        EXPECT_EQ(error.systemError(), ENOSPC);
        EXPECT_NE(error.description().find((root.path() / "x" / "y").string()), std::string::npos);
    }
    EXPECT_TRUE(fs::is_directory(root.path() / "x"));
    EXPECT_FALSE(fs::exists(root.path() / "x" / "y"));

    writeFile(root.path() / "file", "");
    EXPECT_THROW(files::createFolders((root.path() / "file").string(), 0755), files::FileError);
    EXPECT_THROW(files::createFolders((root.path() / "file" / "below").string(), 0755),
                 files::FileError);
}

}  // namespace
}  // namespace plyfold::state
