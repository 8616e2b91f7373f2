#include "engine/common/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>

#include "engine/common/file_access.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/temp_dir.h"

namespace plyfold::files {
namespace {

namespace fs = std::filesystem;
using test::FailingFileSystem;
using test::FileOperation;
using test::TempDir;

// The names in the folder, sorted.
std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

uint32_t permissionsOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// Sets the umask for the scope, so the permissions of a new file are known.
class UmaskScope {
public:
    explicit UmaskScope(mode_t mask) : m_previous(::umask(mask)) {}
    ~UmaskScope() { ::umask(m_previous); }

private:
    mode_t m_previous;
};

const std::string kOld = "the old content, byte for byte";
const std::string kNew(200000, 'n');

struct FailurePoint {
    const char* what;
    FileOperation operation;
    int error;
    uint64_t afterBytes;
    int number;
    const char* description;  // after "Cannot save '<path>': "
};

TEST(AtomicReplace, EachFailureLeavesTheOldFileWholeAndNoTemporary) {
    const FailurePoint points[] = {
        {"no permission in the folder", FileOperation::Create, EACCES, 0, 75,
         "cannot create a file in its folder (Permission denied)."},
        {"a full disk at the first byte", FileOperation::Write, ENOSPC, 0, 75,
         "writing failed (No space left on device)."},
        {"a full disk part way", FileOperation::Write, ENOSPC, 70000, 75,
         "writing failed (No space left on device)."},
        {"a failed flush", FileOperation::Sync, EIO, 0, 75,
         "writing to the disk failed (Input/output error)."},
        {"a failed rename", FileOperation::Rename, EXDEV, 0, 75,
         "cannot replace the file (Invalid cross-device link)."},
    };
    for (const FailurePoint& point : points) {
        for (bool streamed : {false, true}) {
            SCOPED_TRACE(std::string(point.what) + (streamed ? ", streamed" : ", replaced"));
            TempDir dir;
            const std::string target = dir.file("list.txt");
            test::writeFile(target, kOld);
            FailingFileSystem files;
            files.fail(point.operation, dir.path().string(), point.error, point.afterBytes);
            try {
                if (streamed) {
                    AtomicFile file(target);
                    for (size_t at = 0; at < kNew.size(); at += 1000) {
                        file.write(kNew.data() + at, 1000);
                    }
                    file.commit();
                } else {
                    replaceFile(target, kNew);
                }
                ADD_FAILURE() << "saved";
            } catch (const FileError& error) {
                EXPECT_EQ(error.number(), point.number);
                EXPECT_EQ(error.description(),
                          "Cannot save '" + target + "': " + point.description);
                EXPECT_EQ(error.path(), target);
                EXPECT_EQ(error.systemError(), point.error);
            }
            EXPECT_EQ(files.failuresGiven(), 1);
            EXPECT_EQ(test::readFile(target), kOld);
            EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"list.txt"});
        }
    }
}

TEST(AtomicReplace, TargetsThatCannotBeWritten) {
    TempDir dir;
    fs::create_directory(dir.path() / "folder.xlsx");
    const std::tuple<std::string, int, std::string> cases[] = {
        {dir.file("folder.xlsx"), 75, "Cannot save '%': it is a folder."},
        {dir.file("missing/list.txt"), 53,
         "Cannot save '%': cannot create a file in its folder (No such file or directory)."},
        {"", 75, "Cannot save: no file name."},
    };
    for (const auto& [path, number, text] : cases) {
        std::string expected = text;
        if (size_t mark = expected.find('%'); mark != std::string::npos) {
            expected.replace(mark, 1, path);
        }
        try {
            replaceFile(path, "x");
            ADD_FAILURE() << path;
        } catch (const FileError& error) {
            EXPECT_EQ(error.number(), number) << path;
            EXPECT_EQ(error.description(), expected);
        }
    }
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"folder.xlsx"});
}

TEST(AtomicReplace, AWriterDroppedBeforeCommitLeavesNothingBehind) {
    TempDir dir;
    const std::string target = dir.file("out.csv");
    test::writeFile(target, kOld);
    std::string temporary;
    {
        AtomicFile file(target);
        temporary = file.temporaryPath();
        EXPECT_EQ(fs::path(temporary).parent_path(), dir.path());
        EXPECT_TRUE(isHiddenName(fs::path(temporary).filename().string())) << temporary;
        file.write(kNew);
        EXPECT_EQ(test::readFile(temporary), kNew);
        EXPECT_EQ(test::readFile(target), kOld);
    }
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"out.csv"});

    // After a failure the writer refuses more, and still leaves nothing.
    FailingFileSystem files;
    files.fail(FileOperation::Write, dir.path().string(), ENOSPC, 10);
    AtomicFile file(target);
    EXPECT_THROW(file.write(kNew), FileError);
    files.clearFailures();
    EXPECT_THROW(file.write("more"), FileError);
    EXPECT_THROW(file.commit(), FileError);
    EXPECT_EQ(test::readFile(target), kOld);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"out.csv"});
}

TEST(AtomicReplace, ANewFileGetsOrdinaryPermissionsAndAReplacedOneKeepsItsOwn) {
    UmaskScope umask(022);
    TempDir dir;
    replaceFile(dir.file("new.txt"), "new");
    EXPECT_EQ(test::readFile(dir.file("new.txt")), "new");
    EXPECT_EQ(permissionsOf(dir.file("new.txt")), 0644u);

    test::writeFile(dir.path() / "private.txt", kOld);
    fs::permissions(dir.path() / "private.txt", fs::perms::owner_read | fs::perms::owner_write);
    replaceFile(dir.file("private.txt"), "replaced");
    EXPECT_EQ(test::readFile(dir.file("private.txt")), "replaced");
    EXPECT_EQ(permissionsOf(dir.file("private.txt")), 0600u);
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"new.txt", "private.txt"}));
}

TEST(AtomicReplace, ALinkKeepsPointingAtTheFileItReplaces) {
    TempDir dir;
    fs::create_directory(dir.path() / "data");
    fs::create_directory(dir.path() / "links");
    const std::string real = dir.file("data/real.txt");
    const std::string link = dir.file("links/link.txt");
    test::writeFile(real, kOld);
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("../data/real.txt", link);

    replaceFile(link, "through the link");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), "../data/real.txt");
    EXPECT_EQ(test::readFile(real), "through the link");
    EXPECT_EQ(permissionsOf(real), 0640u);
    EXPECT_EQ(namesIn(dir.path() / "data"), std::vector<std::string>{"real.txt"});
    EXPECT_EQ(namesIn(dir.path() / "links"), std::vector<std::string>{"link.txt"});

    // A failure names the link as it was given, not the file it ends at.
    FailingFileSystem files;
    files.fail(FileOperation::Rename, fs::canonical(dir.path() / "data").string(), EIO);
    try {
        replaceFile(link, "lost");
        ADD_FAILURE() << "saved";
    } catch (const FileError& error) {
        EXPECT_EQ(error.description(),
                  "Cannot save '" + link + "': cannot replace the file (Input/output error).");
    }
    EXPECT_EQ(test::readFile(real), "through the link");
    EXPECT_EQ(namesIn(dir.path() / "data"), std::vector<std::string>{"real.txt"});

    // A link that ends nowhere yet makes the file it names.
    fs::create_symlink("../data/later.txt", dir.path() / "links" / "later.txt");
    files.clearFailures();
    replaceFile(dir.file("links/later.txt"), "made");
    EXPECT_EQ(test::readFile(dir.file("data/later.txt")), "made");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "links" / "later.txt"));
}

TEST(AtomicReplace, AFileInTheCurrentFolderIsReplacedThere) {
    TempDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    std::optional<std::string> failure;
    try {
        replaceFile("bare.txt", "bare");
    } catch (const FileError& error) {
        failure = error.description();
    }
    fs::current_path(before);
    EXPECT_EQ(failure, std::nullopt);
    EXPECT_EQ(test::readFile(dir.path() / "bare.txt"), "bare");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"bare.txt"});
}

}  // namespace
}  // namespace plyfold::files
