#pragma once

#include <string>
#include <vector>

namespace plyfold::test {

struct ProgramRun {
    int status = -1;  // the exit status; -1 when the program did not exit by itself
    std::string out;
    std::string err;
};

// Runs a built program with the arguments and waits for it, its output streams captured
// through files in captureFolder.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& captureFolder);

}  // namespace plyfold::test
