#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"

namespace plyfold::app {
class Form1;
}

namespace plyfold::cli {

// A source argument matched against the file system.
struct ResolvedSource {
    std::string path;
    int kind = 0;  // a discovery::PathKind
    std::vector<std::string> sheets;
};

// The path itself when it exists, else FILE:SHEET split at the last colon when FILE is a
// file; nothing when neither exists.
std::optional<ResolvedSource> resolveSource(const SourceArgument& argument);

// Appends the source's merge queue entries: the picked sheets of a file, or every worksheet
// of the file or of the folder's workbooks, through the window's own commands.
void queueSource(app::Form1& form, const ResolvedSource& source);

// Appends the entries of a queue file, one "path<TAB>sheet" line each (CR LF or LF; blank
// lines skipped). Returns an error text for an unreadable file or a line without a TAB.
std::optional<std::string> queueFromFile(app::Form1& form, const std::string& queueFile);

}  // namespace plyfold::cli
