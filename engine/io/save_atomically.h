#pragma once

#include <functional>
#include <string>

#include "engine/common/atomic_file.h"

namespace plyfold::engine {

// Writes a result file whole or not at all: writeContent fills a temporary file beside path,
// which then replaces path. A failure of the target itself is passed on as it is, since it
// names the file; any other becomes a SpreadsheetError that says "Cannot save" the file.
void saveAtomically(const std::string& path,
                    const std::function<void(files::AtomicFile&)>& writeContent);

}  // namespace plyfold::engine
