#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/terminal_services.h"
#include "engine/common/temporary_files.h"

namespace {

int run(int argc, char** argv) {
    using namespace plyfold::cli;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    auto parsed = parseOptions(arguments);
    if (auto* error = std::get_if<UsageError>(&parsed)) {
        std::fprintf(stderr, "plyfold-merge: %s\nTry 'plyfold-merge --help'.\n",
                     error->message.c_str());
        return kUsage;
    }
    const Options& options = std::get<Options>(parsed);
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return kSuccess;
    }
    if (options.version) {
        std::printf("plyfold-merge %s\n", PLYFOLD_VERSION);
        return kSuccess;
    }
    if (!options.jobFile.empty()) {
        return runJob(options);
    }
    return options.list ? runList(options) : runMerge(options);
}

// Ends the run on a failure that no command turned into a message of its own (a folder that
// cannot be listed, memory running out) as the commands' failures end: its reason, status 1.
int fail(std::string_view reason) {
    std::fflush(stdout);  // what was listed so far comes before the reason
    plyfold::cli::printMessage(reason);
    return plyfold::cli::kFailure;
}

}  // namespace

int main(int argc, char** argv) {
    // Ctrl+C or a kill during the save leaves no half-written temporary file behind.
    plyfold::files::removeTemporaryFilesOnSignals();
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        return fail("out of memory.");
    } catch (const std::exception& error) {
        return fail(error.what());
    } catch (...) {
        return fail("unknown failure.");
    }
}
