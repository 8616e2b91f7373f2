#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"

int main(int argc, char** argv) {
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
    return options.list ? runList(options) : runMerge(options);
}
