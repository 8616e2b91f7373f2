#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/folder_scan.h"
#include "cli/queue_builder.h"
#include "cli/terminal_services.h"
#include "discovery/list_workbooks.h"
#include "discovery/list_worksheets.h"
#include "discovery/path_helpers.h"
#include "engine/common/error.h"
#include "engine/common/text.h"

namespace plyfold::cli {

int runList(const Options& options) {
    const discovery::SheetFilter filter = sheetFilterOf(options);
    bool failed = false;
    for (const SourceArgument& argument : options.sources) {
        auto source = resolveSource(argument);
        if (!source) {
            printMessage(argument.text + ": File does not exist!");
            failed = true;
            continue;
        }
        std::printf("%s\n", source->path.c_str());
        const discovery::WorkbookScan scan =
            discovery::scanWorkbooks(source->path, scanOptionsOf(options));
        std::vector<std::string> notes;
        addScanNotes(source->path, scan, notes);
        std::fflush(stdout);
        for (const std::string& note : notes) {
            printMessage(note);
        }
        for (const std::string& name : scan.names) {
            std::printf("  %s\n", name.c_str());
            const std::string path =
                source->isFolder ? discovery::JoinPath(source->path, name) : source->path;
            try {
                for (const discovery::WorksheetExtent& extent :
                     discovery::worksheetExtentsOf(path, filter)) {
                    const char* hidden = extent.sheet.hidden ? " (hidden)" : "";
                    if (!extent.problem.empty()) {
                        std::printf("    %s%s\n", extent.sheet.name.c_str(), hidden);
                        std::fflush(stdout);
                        printMessage(extent.problem);
                        failed = true;
                        continue;
                    }
                    std::printf("    %s%s  %s  %s %s\n", extent.sheet.name.c_str(), hidden,
                                extent.usedRange.c_str(),
                                engine::withThousands(extent.rows).c_str(),
                                extent.rows == 1 ? "row" : "rows");
                }
            } catch (const SpreadsheetError& error) {
                std::fflush(stdout);
                printMessage(error.description());
                printMessage("Open excel file failed!");
                failed = true;
            }
        }
    }
    std::fflush(stdout);
    return failed ? kFailure : kSuccess;
}

}  // namespace plyfold::cli
