#pragma once

#include <string>

// The temporary files of saves in progress, kept where a signal handler can read them, so that
// a program ended by SIGINT, SIGTERM or SIGHUP leaves none of them behind.
namespace plyfold::files {

// Installs the handlers: each removes every registered temporary file, then ends the program
// by the same signal, as if there had been no handler. A signal the program was started with
// ignored (a command run in the background, under nohup) stays ignored. Call it once at the
// start of a program, before it starts threads.
void removeTemporaryFilesOnSignals();

// Registers a temporary file while it lives. A path too long for the registry's fixed room, or
// one more file than it has room for, is not registered: the file is then only left behind
// when a signal ends the program, as it would be without the registry.
class TemporaryFileRegistration {
public:
    explicit TemporaryFileRegistration(const std::string& path);
    ~TemporaryFileRegistration();
    TemporaryFileRegistration(const TemporaryFileRegistration&) = delete;
    TemporaryFileRegistration& operator=(const TemporaryFileRegistration&) = delete;

    bool isRegistered() const { return m_slot >= 0; }

private:
    int m_slot = -1;
};

}  // namespace plyfold::files
