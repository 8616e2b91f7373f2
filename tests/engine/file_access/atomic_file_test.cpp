#include "engine/common/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "engine/common/file_access.h"
#include "engine/common/temporary_files.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/temp_dir.h"

namespace plyfold::files {
namespace {

namespace fs = std::filesystem;
using test::FailingFileSystem;
using test::FileOperation;
using test::namesIn;
using test::TempDir;

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

// The name given is what is replaced, whatever is there: a link is replaced by the new file,
// never followed into the file or folder it points at.
TEST(AtomicReplace, ReplacesTheNameGivenAndNeverWhatALinkThereEndsAt) {
    UmaskScope umask(022);
    struct Case {
        const char* what;
        std::function<void(const fs::path& name)> make;
        uint32_t permissions;  // of the new file
    };
    const Case cases[] = {
        {"a file",
         [](const fs::path& name) {
             test::writeFile(name, kOld);
             fs::permissions(
                 name, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
         },
         0640u},
        {"a link to a file in another folder",
         [](const fs::path& name) { fs::create_symlink("../data/real.txt", name); }, 0644u},
        {"a link to nothing yet",
         [](const fs::path& name) { fs::create_symlink("../data/later.txt", name); }, 0644u},
        {"a link to a folder", [](const fs::path& name) { fs::create_symlink("../data", name); },
         0644u},
        {"a link to itself", [](const fs::path& name) { fs::create_symlink("out.txt", name); },
         0644u},
        {"a pipe", [](const fs::path& name) { ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0); }, 0644u},
        {"nothing", [](const fs::path&) {}, 0644u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        fs::create_directory(dir.path() / "data");
        fs::create_directory(dir.path() / "links");
        test::writeFile(dir.path() / "data" / "real.txt", kOld);
        const std::string name = dir.file("links/out.txt");
        c.make(name);
        {
            AtomicFile file(name);
            EXPECT_EQ(fs::path(file.temporaryPath()).parent_path(), dir.path() / "links");
            file.write("new");
            file.commit();
        }
        EXPECT_EQ(fs::symlink_status(name).type(), fs::file_type::regular);
        EXPECT_EQ(test::readFile(name), "new");
        EXPECT_EQ(permissionsOf(name), c.permissions);
        EXPECT_EQ(test::readFile(dir.path() / "data" / "real.txt"), kOld);
        EXPECT_EQ(namesIn(dir.path() / "data"), std::vector<std::string>{"real.txt"});
        EXPECT_EQ(namesIn(dir.path() / "links"), std::vector<std::string>{"out.txt"});
    }
}

TEST(AtomicReplace, AFailureThroughALinkNamesTheLinkAndKeepsIt) {
    TempDir dir;
    const std::string real = dir.file("real.txt");
    const std::string link = dir.file("link.txt");
    test::writeFile(real, kOld);
    fs::create_symlink("real.txt", link);
    FailingFileSystem files;
    files.fail(FileOperation::Rename, link, EIO);
    try {
        replaceFile(link, "lost");
        ADD_FAILURE() << "saved";
    } catch (const FileError& error) {
        EXPECT_EQ(error.description(),
                  "Cannot save '" + link + "': cannot replace the file (Input/output error).");
        EXPECT_EQ(error.path(), link);
    }
    EXPECT_EQ(files.failuresGiven(), 1);
    EXPECT_EQ(fs::read_symlink(link), "real.txt");
    EXPECT_EQ(test::readFile(real), kOld);
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"link.txt", "real.txt"}));
}

// A child process saves, tells the test its temporary files, and waits for the signals the test
// sends; the handlers must remove the files and let the signal end the process.
TEST(AtomicReplace, ASignalThatEndsTheProgramRemovesTheTemporaryFiles) {
    struct Case {
        const char* what;
        std::vector<int> signalsSent;
        int endedBy;
        int saves;              // in progress when the signals come
        bool committedFirst;    // one save finished before them, which must stay
        bool interruptIgnored;  // SIGINT ignored before the handlers are installed
    };
    const Case cases[] = {
        {"terminate", {SIGTERM}, SIGTERM, 1, false, false},
        {"interrupt, two saves at once", {SIGINT}, SIGINT, 2, false, false},
        {"hang up", {SIGHUP}, SIGHUP, 1, false, false},
        {"a finished save stays", {SIGTERM}, SIGTERM, 1, true, false},
        {"an ignored interrupt stays ignored", {SIGINT, SIGTERM}, SIGTERM, 1, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        int channel[2];
        ASSERT_EQ(::pipe(channel), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(channel[0]);
            try {
                if (c.interruptIgnored) {
                    ::signal(SIGINT, SIG_IGN);
                }
                removeTemporaryFilesOnSignals();
                if (c.committedFirst) {
                    replaceFile(dir.file("done.txt"), "done");
                }
                std::vector<std::unique_ptr<AtomicFile>> saves;
                std::string names;
                for (int i = 0; i < c.saves; ++i) {
                    saves.push_back(std::make_unique<AtomicFile>(
                        dir.file("save" + std::to_string(i) + ".txt")));
                    saves.back()->write(kNew);
                    names += saves.back()->temporaryPath() + "\n";
                }
                if (::write(channel[1], names.data(), names.size()) !=
                    static_cast<ssize_t>(names.size())) {
                    ::_exit(3);
                }
                ::close(channel[1]);
                // Sleeping, not pause(): a sanitizer's runtime delivers a signal it deferred
                // when a call it watches returns.
                while (true) {
                    ::sleep(1);
                }
            } catch (...) {
                ::_exit(4);
            }
        }
        ::close(channel[1]);
        std::string names;
        char buffer[4096];
        for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;) {
            names.append(buffer, static_cast<size_t>(got));
        }
        ::close(channel[0]);
        std::vector<std::string> temporaries;
        for (size_t start = 0, end; (end = names.find('\n', start)) != std::string::npos;
             start = end + 1) {
            temporaries.push_back(names.substr(start, end - start));
        }
        ASSERT_EQ(temporaries.size(), static_cast<size_t>(c.saves));
        for (const std::string& temporary : temporaries) {
            EXPECT_TRUE(fs::exists(temporary)) << temporary;
        }
        for (int signalNumber : c.signalsSent) {
            ::kill(child, signalNumber);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), c.endedBy);
        EXPECT_EQ(namesIn(dir.path()), c.committedFirst ? std::vector<std::string>{"done.txt"}
                                                        : std::vector<std::string>{});
    }
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
