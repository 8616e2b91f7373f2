#include "engine/common/file_access.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>

#include "tests/support/failing_file_system.h"
#include "tests/support/temp_dir.h"

namespace plyfold::files {
namespace {

namespace fs = std::filesystem;
using test::FailingFileSystem;
using test::FileOperation;
using test::TempDir;

// Bytes that differ from one offset to the next, so a read from a wrong place shows.
std::string patternOf(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    return bytes;
}

struct ReadFailureCase {
    const char* what;
    // Prepares the folder (and the stand-in file system) and gives the path to read.
    std::function<std::string(const TempDir&, FailingFileSystem&)> prepare;
    int number;
    std::string description;  // "%" stands for the path
};

std::string withPath(const std::string& text, const std::string& path) {
    std::string result = text;
    result.replace(result.find('%'), 1, path);
    return result;
}

TEST(ReadingFiles, EachFailureGivesItsNumberAndNamesTheFile) {
    const ReadFailureCase cases[] = {
        {"missing", [](const TempDir& d, FailingFileSystem&) { return d.file("missing.csv"); }, 53,
         "'%' could not be found."},
        {"in a missing folder",
         [](const TempDir& d, FailingFileSystem&) { return d.file("gone/a.csv"); }, 53,
         "'%' could not be found."},
        {"under a file",
         [](const TempDir& d, FailingFileSystem&) {
             test::writeFile(d.path() / "plain", "x");
             return d.file("plain/a.csv");
         },
         53, "'%' could not be found."},
        {"no name", [](const TempDir&, FailingFileSystem&) { return std::string(); }, 53,
         "'%' could not be found."},
        {"a folder", [](const TempDir& d, FailingFileSystem&) { return d.path().string(); }, 75,
         "'%' is a folder, not a file."},
        {"a pipe, which must not block",
         [](const TempDir& d, FailingFileSystem&) {
             std::string pipe = d.file("pipe.csv");
             EXPECT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
             return pipe;
         },
         75, "'%' is not a file."},
        {"no permission",
         [](const TempDir& d, FailingFileSystem& files) {
             test::writeFile(d.path() / "locked.csv", "a,b\n");
             files.fail(FileOperation::Open, d.file("locked.csv"), EACCES);
             return d.file("locked.csv");
         },
         75, "'%' could not be read: Permission denied."},
        {"a read error at the start",
         [](const TempDir& d, FailingFileSystem& files) {
             test::writeFile(d.path() / "bad.csv", "a,b\n");
             files.fail(FileOperation::Read, d.file("bad.csv"), EIO);
             return d.file("bad.csv");
         },
         75, "'%' could not be read: Input/output error."},
        {"a read error part way",
         [](const TempDir& d, FailingFileSystem& files) {
             test::writeFile(d.path() / "bad.csv", patternOf(300000));
             files.fail(FileOperation::Read, d.file("bad.csv"), EIO, 70000);
             return d.file("bad.csv");
         },
         75, "'%' could not be read: Input/output error."},
    };
    const std::pair<const char*, std::function<void(const std::string&)>> readers[] = {
        {"readFile", [](const std::string& path) { readFile(path); }},
        {"readFirstBytes", [](const std::string& path) { readFirstBytes(path, 1 << 20); }},
        {"InputFile", [](const std::string& path) { InputFile(path).readAll(); }},
    };
    for (const ReadFailureCase& c : cases) {
        for (const auto& [reader, read] : readers) {
            SCOPED_TRACE(std::string(c.what) + ", " + reader);
            TempDir dir;
            FailingFileSystem files;
            const std::string path = c.prepare(dir, files);
            try {
                read(path);
                ADD_FAILURE() << "read without an error";
            } catch (const FileError& error) {
                EXPECT_EQ(error.number(), c.number);
                EXPECT_EQ(error.description(), withPath(c.description, path));
                EXPECT_EQ(error.path(), path);
            }
        }
    }
}

TEST(ReadingFiles, GivesTheBytesAsTheyAre) {
    TempDir dir;
    for (size_t size : {size_t{0}, size_t{1}, size_t{65535}, size_t{65537}, size_t{1000003}}) {
        SCOPED_TRACE(size);
        const std::string bytes = patternOf(size);
        const std::string path = dir.file("data.bin");
        test::writeFile(path, bytes);
        EXPECT_EQ(readFile(path), bytes);
        EXPECT_EQ(readFirstBytes(path, 8192), bytes.substr(0, 8192));
        EXPECT_EQ(readFirstBytes(path, 0), "");
        InputFile file(path);
        EXPECT_EQ(file.size(), size);
        EXPECT_EQ(file.path(), path);
        std::string middle(100, '?');
        const uint64_t at = size / 2;
        middle.resize(file.readAt(at, middle.data(), middle.size()));
        EXPECT_EQ(middle, bytes.substr(at, 100));
        char past[4];
        EXPECT_EQ(file.readAt(size, past, sizeof past), 0u);
        EXPECT_EQ(file.readAt(size + 1000, past, sizeof past), 0u);
    }
}

TEST(ReadingFiles, ALinkIsReadAsTheFileItEndsAt) {
    TempDir dir;
    test::writeFile(dir.path() / "real.csv", "a,b\n");
    fs::create_symlink(dir.path() / "real.csv", dir.path() / "link.csv");
    fs::create_symlink(dir.path() / "none.csv", dir.path() / "dangling.csv");
    EXPECT_EQ(readFile(dir.file("link.csv")), "a,b\n");
    try {
        readFile(dir.file("dangling.csv"));
        ADD_FAILURE() << "read a dangling link";
    } catch (const FileError& error) {
        EXPECT_EQ(error.number(), 53);
    }
}

TEST(ReadingFiles, TheStandInCountsTheOpensOfEachPath) {
    TempDir dir;
    test::writeFile(dir.path() / "a.csv", "1");
    FailingFileSystem files;
    readFile(dir.file("a.csv"));
    readFirstBytes(dir.file("a.csv"), 1);
    EXPECT_THROW(readFile(dir.file("b.csv")), FileError);
    EXPECT_EQ(files.opensOf(dir.file("a.csv")), 2);
    EXPECT_EQ(files.opensOf(dir.file("b.csv")), 1);
    EXPECT_EQ(files.opensOf(dir.file("c.csv")), 0);
}

TEST(ListingFolders, GivesEveryEntryWithTheKindItEndsAt) {
    TempDir dir;
    test::writeFile(dir.path() / "file.csv", "x");
    test::writeFile(dir.path() / ".hidden.xls", "x");
    fs::create_directory(dir.path() / "sub");
    fs::create_symlink(dir.path() / "file.csv", dir.path() / "to-file");
    fs::create_symlink(dir.path() / "sub", dir.path() / "to-folder");
    fs::create_symlink(dir.path() / "nothing", dir.path() / "dangling");
    fs::create_symlink(dir.path() / "loop", dir.path() / "loop");
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    std::vector<FolderEntry> entries = listFolder(dir.path().string());
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    const std::vector<FolderEntry> expected = {
        {".hidden.xls", EntryKind::File}, {"dangling", EntryKind::Other},
        {"file.csv", EntryKind::File},    {"loop", EntryKind::Other},
        {"pipe", EntryKind::Other},       {"sub", EntryKind::Folder},
        {"to-file", EntryKind::File},     {"to-folder", EntryKind::Folder},
    };
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(listFolder(dir.file("sub")), std::vector<FolderEntry>{});
    EXPECT_EQ(listFolder(dir.file("to-folder")), std::vector<FolderEntry>{});
}

TEST(ListingFolders, EachFailureGivesItsNumberAndNamesTheFolder) {
    TempDir dir;
    test::writeFile(dir.path() / "file.csv", "x");
    fs::create_directory(dir.path() / "locked");
    FailingFileSystem files;
    files.fail(FileOperation::List, dir.file("locked"), EACCES);
    const std::tuple<std::string, int, const char*> cases[] = {
        {dir.file("missing"), 53, "' could not be found."},
        {dir.file("file.csv"), 75, "' is not a folder."},
        {dir.file("locked"), 75, "' could not be listed: Permission denied."},
    };
    for (const auto& [path, number, ending] : cases) {
        try {
            listFolder(path);
            ADD_FAILURE() << path << " listed";
        } catch (const FileError& error) {
            EXPECT_EQ(error.number(), number) << path;
            EXPECT_EQ(error.description(), "'" + path + ending);
        }
    }
    EXPECT_EQ(files.failuresGiven(), 1);
}

TEST(PathKinds, FollowTheRulesForNamesAndTheFileSystem) {
    TempDir dir;
    test::writeFile(dir.path() / "file.csv", "x");
    test::writeFile(dir.path() / ".hidden.csv", "x");
    fs::create_directory(dir.path() / "sub");
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    const std::tuple<std::string, PathKind, bool> cases[] = {
        {dir.file("file.csv"), PathKind::File, true},
        {dir.file("sub"), PathKind::Folder, false},
        {dir.file("sub/"), PathKind::Folder, false},
        {dir.file("missing"), PathKind::Missing, false},
        {dir.file(".hidden.csv"), PathKind::Missing, true},
        {dir.file("*.csv"), PathKind::Missing, false},
        {dir.file("pipe"), PathKind::Missing, false},
        {"", PathKind::Missing, false},
    };
    for (const auto& [path, kind, file] : cases) {
        EXPECT_EQ(pathKind(path), kind) << path;
        EXPECT_EQ(isFile(path), file) << path;
    }
}

// One file under several names is found whichever name is used; a file with the same name in
// another folder, or the same bytes, is another file.
TEST(FileIdentity, FindsTheSameFileThroughLinksAndHardLinks) {
    TempDir dir;
    fs::create_directory(dir.path() / "sub");
    test::writeFile(dir.path() / "data.xlsx", "same bytes");
    test::writeFile(dir.path() / "copy.xlsx", "same bytes");
    test::writeFile(dir.path() / "sub" / "data.xlsx", "same bytes");
    fs::create_symlink("data.xlsx", dir.path() / "link.xlsx");
    fs::create_symlink("link.xlsx", dir.path() / "chain.xlsx");
    fs::create_hard_link(dir.path() / "data.xlsx", dir.path() / "hard.xlsx");
    fs::create_symlink("nowhere.xlsx", dir.path() / "dangling.xlsx");
    const std::vector<std::string> sources = {dir.file("copy.xlsx"), dir.file("sub/data.xlsx"),
                                              dir.file("missing.xlsx"), dir.file("data.xlsx")};
    struct Case {
        std::string path;
        std::optional<std::string> found;
    };
    const Case cases[] = {
        {dir.file("data.xlsx"), dir.file("data.xlsx")},
        {dir.file("./sub/../data.xlsx"), dir.file("data.xlsx")},
        {dir.file("link.xlsx"), dir.file("data.xlsx")},
        {dir.file("chain.xlsx"), dir.file("data.xlsx")},
        {dir.file("hard.xlsx"), dir.file("data.xlsx")},
        {dir.file("sub/data.xlsx"), dir.file("sub/data.xlsx")},
        {dir.file("dangling.xlsx"), std::nullopt},
        {dir.file("missing.xlsx"), std::nullopt},
        {dir.file("other.xlsx"), std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(findSameFile(c.path, sources), c.found) << c.path;
    }
    EXPECT_EQ(findSameFile(dir.file("data.xlsx"), {}), std::nullopt);
}

}  // namespace
}  // namespace plyfold::files
