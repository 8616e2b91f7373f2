#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/help_locations.h"
#include "state/state_folder.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/recording_services.h"
#include "tests/support/temp_dir.h"

namespace plyfold::app {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

// An installed program: <root>/bin holds it, <root>/share/plyfold/manual the manual, and
// <root>/src the tree it was built from.
class HelpTest : public ::testing::Test {
protected:
    HelpTest() { fs::create_directory(bin()); }

    fs::path bin() const { return root.path() / "bin"; }
    fs::path chm() const { return bin() / "help.chm"; }
    fs::path installed() const { return root.path() / "share/plyfold/manual/index.html"; }
    fs::path sourceTree() const { return root.path() / "src/docs/manual/index.html"; }

    static void place(const fs::path& file) {
        fs::create_directories(file.parent_path());
        writeFile(file, "<!doctype html>");
    }

    std::unique_ptr<Form1> form(const std::string& sourceTreeManual) {
        Form1Services services;
        services.messages = &messages;
        services.shell = &shell;
        auto form = std::make_unique<Form1>(bin().string(), services);
        form->setSourceTreeManual(sourceTreeManual);
        return form;
    }

    test::TempDir root;
    test::RecordingMessages messages;
    test::RecordingShell shell;
};

TEST_F(HelpTest, OpensTheFirstManualThereIsElseSaysWhereItBelongs) {
    enum Opens { Chm, Installed, SourceTree, Nothing };
    struct Case {
        bool chm, installed, sourceTree;
        Opens opens;
    };
    const Case cases[] = {
        {true, true, true, Chm},          {true, false, false, Chm},
        {false, true, true, Installed},   {false, true, false, Installed},
        {false, false, true, SourceTree}, {false, false, false, Nothing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.chm << c.installed << c.sourceTree);
        for (const fs::path& file : {chm(), installed(), sourceTree()}) {
            fs::remove(file);
        }
        if (c.chm) {
            place(chm());
        }
        if (c.installed) {
            place(installed());
        }
        if (c.sourceTree) {
            place(sourceTree());
        }
        shell.opened.clear();
        messages.shown.clear();
        form(sourceTree().string())->Help_Click();
        if (c.opens == Nothing) {
            EXPECT_TRUE(shell.opened.empty());
            EXPECT_EQ(
                messages.texts(),
                std::vector<std::string>{
                    "The manual was not found. It belongs in one of these places:\n\n" +
                    chm().string() + "\n" + installed().string() + "\n" + sourceTree().string()});
            EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Information);
            continue;
        }
        const fs::path expected[] = {chm(), installed(), sourceTree()};
        ASSERT_EQ(shell.opened.size(), 1u);
        EXPECT_EQ(shell.opened[0].first, expected[c.opens].string());
        EXPECT_EQ(shell.opened[0].second, controls::ShowCommand::Show);
        EXPECT_TRUE(messages.shown.empty());
    }
}

// A folder by the manual's name is no manual, and a build without a source tree's manual
// names only the two places of a program.
TEST_F(HelpTest, OnlyFilesCountAndAnEmptySourceTreeIsNotNamed) {
    fs::create_directories(chm());
    fs::create_directories(installed());
    form("")->Command12_Click();
    EXPECT_TRUE(shell.opened.empty());
    EXPECT_EQ(messages.texts(),
              std::vector<std::string>{
                  "The manual was not found. It belongs in one of these places:\n\n" +
                  chm().string() + "\n" + installed().string()});
}

// The program folder given with a separator at its end, or through "..", names the same
// places.
TEST(HelpLocations, AreNamedWithoutDetours) {
    EXPECT_EQ(HelpLocations("/opt/plyfold/bin", ""),
              (std::vector<std::string>{"/opt/plyfold/bin/help.chm",
                                        "/opt/plyfold/share/plyfold/manual/index.html"}));
    EXPECT_EQ(HelpLocations("/opt/plyfold/bin/", "/src/docs/manual/index.html"),
              (std::vector<std::string>{"/opt/plyfold/bin/help.chm",
                                        "/opt/plyfold/share/plyfold/manual/index.html",
                                        "/src/docs/manual/index.html"}));
    EXPECT_EQ(HelpLocations("/opt/x/../plyfold/bin", "")[1],
              "/opt/plyfold/share/plyfold/manual/index.html");
}

// The program as built: its source tree's manual is there to open.
TEST(HelpLocations, TheSourceTreesManualIsCompiledInAndExists) {
    const fs::path manual(SourceTreeManual());
    EXPECT_TRUE(manual.is_absolute());
    EXPECT_EQ(manual.filename(), "index.html");
    EXPECT_TRUE(fs::is_regular_file(manual)) << manual;
    test::TempDir program;
    test::RecordingShell shell;
    Form1Services services;
    services.shell = &shell;
    Form1 form(program.path().string(), services);
    form.Help_Click();
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0].first, manual.string());
}

// A program folder Plyfold may not write: the list and the settings go to the configuration
// folder, and the program folder is left as it was.
TEST(StateFiles, LiveInTheConfigurationFolderWhenTheProgramFolderIsNotWritable) {
    test::TempDir root;
    const fs::path program = root.path() / "bin";
    const fs::path config = root.path() / "config" / "Plyfold";
    fs::create_directory(program);
    test::FailingFileSystem files;
    files.fail(test::FileOperation::Create, program.string(), EACCES);
    test::RecordingMessages messages;
    Form1Services services;
    services.messages = &messages;
    {
        const ProgramFolders folders(program.string(),
                                     state::chooseStateFolder(program.string(), config.string()));
        Form1 first(folders, services);
        first.Form_Load();
        EXPECT_EQ(first.controls().programFolder, program.string());
        EXPECT_EQ(first.controls().stateFolder, config.string());
        first.controls().ListView1.add("/data/a.xlsx");
        first.Form_Unload();
    }
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(readFile(config / "EXCEL.txt"), "/data/a.xlsx\r\n");
    EXPECT_TRUE(fs::is_empty(program));

    Form1 second(ProgramFolders(program.string(),
                                state::chooseStateFolder(program.string(), config.string())),
                 services);
    second.Form_Load();
    ASSERT_EQ(second.controls().ListView1.count(), 1);
    EXPECT_EQ(second.controls().ListView1.text(1), "/data/a.xlsx");
}

// Whatever stops the save at exit, one box says so, naming the folder and the reason; the list
// saved before is kept.
TEST(StateFiles, AFailedSaveAtExitIsToldOnceNamingTheFolder) {
    struct Case {
        const char* what;
        std::function<void(test::FailingFileSystem&, const fs::path& folder)> prepare;
        const char* reason;
    };
    const Case cases[] = {
        {"a folder that cannot be made",
         [](test::FailingFileSystem& files, const fs::path& folder) {
             files.fail(test::FileOperation::MakeFolder, folder.string(), EACCES);
         },
         "No such file or directory"},
        {"a folder where no file can be made",
         [](test::FailingFileSystem& files, const fs::path& folder) {
             fs::create_directories(folder);
             writeFile(folder / "EXCEL.txt", "/old.xlsx\r\n");
             files.fail(test::FileOperation::Create, folder.string(), EROFS);
         },
         "Read-only file system"},
        {"a full disk",
         [](test::FailingFileSystem& files, const fs::path& folder) {
             fs::create_directories(folder);
             writeFile(folder / "EXCEL.txt", "/old.xlsx\r\n");
             files.fail(test::FileOperation::Write, folder.string(), ENOSPC, 3);
         },
         "No space left on device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir root;
        const fs::path program = root.path() / "bin";
        const fs::path config = root.path() / "config" / "Plyfold";
        fs::create_directory(program);
        test::FailingFileSystem files;
        files.fail(test::FileOperation::Create, program.string(), EACCES);
        c.prepare(files, config);
        test::RecordingMessages messages;
        Form1Services services;
        services.messages = &messages;
        Form1 form(ProgramFolders(program.string(),
                                  state::chooseStateFolder(program.string(), config.string())),
                   services);
        form.Form_Load();
        form.controls().ListView1.add("/data/new.xlsx");
        form.Form_Unload();
        ASSERT_EQ(messages.shown.size(), 1u);
        const std::string& text = messages.shown[0].first;
        EXPECT_EQ(text.rfind("The source list could not be saved in the folder '" +
                                 config.string() + "'.\n\n",
                             0),
                  0u)
            << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
        EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Critical);
        if (fs::exists(config / "EXCEL.txt")) {
            EXPECT_EQ(readFile(config / "EXCEL.txt"), "/old.xlsx\r\n");
        }
        EXPECT_TRUE(fs::is_empty(program));
    }
}

}  // namespace
}  // namespace plyfold::app
