#include "tests/support/failing_file_system.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>

namespace plyfold::test {

struct FailingFileSystem::State {
    struct Rule {
        FileOperation operation;
        std::string path;
        int error;
        uint64_t afterBytes;
    };

    // The rule that makes the operation on the path fail, if there is one.
    std::optional<Rule> ruleFor(FileOperation operation, const std::string& path) const {
        std::lock_guard lock(mutex);
        for (const Rule& rule : rules) {
            if (rule.operation == operation && covers(rule.path, path)) {
                return rule;
            }
        }
        return std::nullopt;
    }

    // The error of the rule for the operation on the path, counted as given; 0 when none.
    int errorFor(FileOperation operation, const std::string& path) {
        std::optional<Rule> rule = ruleFor(operation, path);
        if (!rule) {
            return 0;
        }
        given();
        return rule->error;
    }

    void given() {
        std::lock_guard lock(mutex);
        ++failuresGiven;
    }

    static bool covers(const std::string& rulePath, const std::string& path) {
        if (path == rulePath) {
            return true;
        }
        std::string folder = rulePath;
        if (folder.empty() || folder.back() != '/') {
            folder += '/';
        }
        return path.compare(0, folder.size(), folder) == 0;
    }

    mutable std::mutex mutex;
    std::vector<Rule> rules;
    std::map<std::string, int> opens;
    int failuresGiven = 0;
};

namespace {

using State = FailingFileSystem::State;

class FailingReadHandle : public files::ReadHandle {
public:
    FailingReadHandle(std::unique_ptr<files::ReadHandle> real, std::shared_ptr<State> state,
                      std::string path)
        : m_real(std::move(real)), m_state(std::move(state)), m_path(std::move(path)) {}

    int status(files::FileStatus& status) override { return m_real->status(status); }

    int readAt(uint64_t offset, char* buffer, size_t capacity, size_t& count) override {
        if (auto rule = m_state->ruleFor(FileOperation::Read, m_path)) {
            if (offset >= rule->afterBytes) {
                m_state->given();
                return rule->error;
            }
            capacity = static_cast<size_t>(std::min<uint64_t>(capacity, rule->afterBytes - offset));
        }
        return m_real->readAt(offset, buffer, capacity, count);
    }

private:
    std::unique_ptr<files::ReadHandle> m_real;
    std::shared_ptr<State> m_state;
    std::string m_path;
};

class FailingWriteHandle : public files::WriteHandle {
public:
    FailingWriteHandle(std::unique_ptr<files::WriteHandle> real, std::shared_ptr<State> state,
                       std::string path)
        : m_real(std::move(real)), m_state(std::move(state)), m_path(std::move(path)) {}

    int write(const char* data, size_t size) override {
        if (auto rule = m_state->ruleFor(FileOperation::Write, m_path)) {
            if (m_written + size > rule->afterBytes) {
                // What still fits goes to the file, as on a disk that fills up.
                size_t fits =
                    static_cast<size_t>(rule->afterBytes - std::min(m_written, rule->afterBytes));
                if (fits > 0) {
                    m_real->write(data, fits);
                    m_written += fits;
                }
                m_state->given();
                return rule->error;
            }
        }
        int error = m_real->write(data, size);
        if (error == 0) {
            m_written += size;
        }
        return error;
    }

    int setPermissions(uint32_t permissions) override {
        return m_real->setPermissions(permissions);
    }

    int sync() override {
        if (int error = m_state->errorFor(FileOperation::Sync, m_path)) {
            return error;
        }
        return m_real->sync();
    }

    int close() override { return m_real->close(); }

private:
    std::unique_ptr<files::WriteHandle> m_real;
    std::shared_ptr<State> m_state;
    std::string m_path;
    uint64_t m_written = 0;
};

}  // namespace

FailingFileSystem::FailingFileSystem()
    : m_system(files::currentFileSystem()), m_state(std::make_shared<State>()), m_override(*this) {}

FailingFileSystem::~FailingFileSystem() = default;

void FailingFileSystem::fail(FileOperation operation, const std::string& path, int error,
                             uint64_t afterBytes) {
    std::lock_guard lock(m_state->mutex);
    m_state->rules.push_back({operation, path, error, afterBytes});
}

void FailingFileSystem::clearFailures() {
    std::lock_guard lock(m_state->mutex);
    m_state->rules.clear();
}

int FailingFileSystem::opensOf(const std::string& path) const {
    std::lock_guard lock(m_state->mutex);
    auto found = m_state->opens.find(path);
    return found == m_state->opens.end() ? 0 : found->second;
}

int FailingFileSystem::failuresGiven() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->failuresGiven;
}

int FailingFileSystem::status(const std::string& path, files::Links links,
                              files::FileStatus& status) {
    return m_system.status(path, links, status);
}

int FailingFileSystem::openForReading(const std::string& path,
                                      std::unique_ptr<files::ReadHandle>& handle) {
    {
        std::lock_guard lock(m_state->mutex);
        ++m_state->opens[path];
    }
    if (int error = m_state->errorFor(FileOperation::Open, path)) {
        return error;
    }
    std::unique_ptr<files::ReadHandle> real;
    if (int error = m_system.openForReading(path, real)) {
        return error;
    }
    handle = std::make_unique<FailingReadHandle>(std::move(real), m_state, path);
    return 0;
}

int FailingFileSystem::createNew(const std::string& path,
                                 std::unique_ptr<files::WriteHandle>& handle) {
    if (int error = m_state->errorFor(FileOperation::Create, path)) {
        return error;
    }
    std::unique_ptr<files::WriteHandle> real;
    if (int error = m_system.createNew(path, real)) {
        return error;
    }
    handle = std::make_unique<FailingWriteHandle>(std::move(real), m_state, path);
    return 0;
}

int FailingFileSystem::rename(const std::string& from, const std::string& to) {
    int error = m_state->errorFor(FileOperation::Rename, from);
    if (error == 0) {
        error = m_state->errorFor(FileOperation::Rename, to);
    }
    return error != 0 ? error : m_system.rename(from, to);
}

int FailingFileSystem::remove(const std::string& path) {
    if (int error = m_state->errorFor(FileOperation::Remove, path)) {
        return error;
    }
    return m_system.remove(path);
}

int FailingFileSystem::syncFolder(const std::string& path) {
    return m_system.syncFolder(path);
}

int FailingFileSystem::listFolder(const std::string& path,
                                  std::vector<files::FolderEntry>& entries) {
    if (int error = m_state->errorFor(FileOperation::List, path)) {
        return error;
    }
    return m_system.listFolder(path, entries);
}

int FailingFileSystem::createFolder(const std::string& path, uint32_t permissions) {
    if (int error = m_state->errorFor(FileOperation::MakeFolder, path)) {
        return error;
    }
    return m_system.createFolder(path, permissions);
}

}  // namespace plyfold::test
