#include <cstdio>

#include "app/form1.h"
#include "cli/commands.h"
#include "cli/queue_builder.h"
#include "cli/terminal_services.h"
#include "discovery/list_workbooks.h"
#include "discovery/list_worksheets.h"

namespace plyfold::cli {

int runList(const Options& options) {
    StderrMessages messages;
    app::Form1Services services;
    services.messages = &messages;
    app::Form1 form("", services);
    form.SetUpControls();
    controls::Form1Controls& c = form.controls();
    bool failed = false;
    for (const SourceArgument& argument : options.sources) {
        auto source = resolveSource(argument);
        if (!source) {
            messages.showMessage(argument.text + ": File does not exist!",
                                 controls::MessageIcon::Critical);
            failed = true;
            continue;
        }
        std::printf("%s\n", source->path.c_str());
        c.ListView1.clear();
        c.ListView1.select(c.ListView1.add(source->path));
        discovery::ListWorkbooks(c, source->path);
        for (int row = 1; row <= c.ListView2.count(); ++row) {
            std::printf("  %s\n", c.ListView2.text(row).c_str());
            c.ListView2.select(row);
            discovery::ListWorksheets(c);
            for (int sheet = 1; sheet <= c.ListView3.count(); ++sheet) {
                std::printf("    %s\n", c.ListView3.text(sheet).c_str());
            }
        }
    }
    std::fflush(stdout);
    return failed || messages.hasFailed() ? kFailure : kSuccess;
}

}  // namespace plyfold::cli
