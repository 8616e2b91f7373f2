#include "state/state_folder.h"

#include "engine/common/atomic_file.h"
#include "engine/common/file_access.h"
#include "state/saved_list.h"
#include "state/text_file.h"

namespace plyfold::state {
namespace {

// Only its owner enters a folder of settings that Plyfold makes itself.
constexpr uint32_t kConfigFolderPermissions = 0700;

bool holdsStateFile(const std::string& folder) {
    for (const char* name : {kSavedListFile, kSettingsFile}) {
        if (files::entryKind(fileInFolder(folder, name))) {
            return true;
        }
    }
    return false;
}

// Whether a file can be made in the folder: one is made, and removed when the writer goes
// without committing it. Asking the system for permission bits would miss a read-only mount
// and access lists.
bool canMakeFileIn(const std::string& folder) {
    try {
        files::AtomicFile probe(fileInFolder(folder, "plyfold-probe"));
        return true;
    } catch (const files::FileError&) {
        return false;
    }
}

}  // namespace

std::string chooseStateFolder(const std::string& programFolder, const std::string& configFolder) {
    if (configFolder.empty() || holdsStateFile(programFolder) || canMakeFileIn(programFolder)) {
        return programFolder;
    }
    try {
        files::createFolders(configFolder, kConfigFolderPermissions);
    } catch (const files::FileError&) {
        // The save at exit names the folder and the reason.
    }
    return configFolder;
}

}  // namespace plyfold::state
