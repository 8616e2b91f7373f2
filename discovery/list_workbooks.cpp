#include "discovery/list_workbooks.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "automation/automation.h"
#include "controls/form1_controls.h"
#include "discovery/natural_order.h"
#include "discovery/path_helpers.h"
#include "engine/common/file_kind.h"

namespace plyfold::discovery {
namespace {

// The groups of the workbook list, in the order they are listed.
enum FileGroup : int { kGroupWorkbook, kGroupCsv, kGroupDbf, kGroupText, kGroupCount, kNoGroup };

// The group of a name by its type. "xls" stands for every workbook type a spreadsheet reads
// under that pattern: .xls, .xlsx and .xlsm.
FileGroup groupOf(std::string_view name) {
    const files::FileType type = files::fileTypeOfName(name);
    if (files::isWorkbookType(type)) {
        return kGroupWorkbook;
    }
    switch (type) {
        case files::FileType::Csv:
            return kGroupCsv;
        case files::FileType::Dbf:
            return kGroupDbf;
        case files::FileType::Text:
            return kGroupText;
        default:
            return kNoGroup;
    }
}

// The order of names within a group and of subfolders.
bool byNaturalOrder(const std::string& a, const std::string& b) {
    return naturalLess(a, b);
}

// The last component of a path, as the file system stores it.
std::string fileNameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Walks a folder tree for scanWorkbooks.
class FolderWalk {
public:
    FolderWalk(const FolderScanOptions& options, WorkbookScan& scan)
        : m_options(options), m_scan(scan) {
        if (!options.outputFile.empty()) {
            m_output = files::fileIdentity(options.outputFile);
        }
    }

    // Scans the folder (at path, named prefix relative to the source) and, when recursive,
    // its subfolders. Throws files::FileError when the folder cannot be listed.
    void scan(const std::string& path, const std::string& prefix, int depth) {
        std::array<std::vector<std::string>, kGroupCount> groups;
        std::vector<std::string> folders;
        for (files::FolderEntry& entry : files::listFolder(path)) {
            if (files::isHiddenName(entry.name)) {
                continue;
            }
            if (entry.kind == files::EntryKind::Folder) {
                folders.push_back(std::move(entry.name));
            } else if (entry.kind == files::EntryKind::File) {
                FileGroup group = groupOf(entry.name);
                if (group != kNoGroup) {
                    groups[group].push_back(std::move(entry.name));
                }
            }
        }
        for (auto& names : groups) {
            std::sort(names.begin(), names.end(), byNaturalOrder);
            for (std::string& name : names) {
                addFile(JoinPath(path, name), prefix + name);
            }
        }
        if (!m_options.recursive) {
            return;
        }
        std::sort(folders.begin(), folders.end(), byNaturalOrder);
        for (const std::string& name : folders) {
            scanSubfolder(JoinPath(path, name), prefix + name + '/', depth + 1);
        }
    }

    // Remembers the top folder, so that a link back to it is not followed.
    void visitTop(const std::string& path) {
        if (auto identity = files::fileIdentity(path)) {
            m_visited.emplace(identity->device, identity->inode);
        }
        ++m_folderCount;
    }

private:
    void scanSubfolder(const std::string& path, const std::string& prefix, int depth) {
        const auto identity = files::fileIdentity(path);
        if (!identity || m_visited.count({identity->device, identity->inode}) != 0) {
            return;
        }
        if (depth > kMaxScanDepth || m_folderCount >= kMaxScannedFolders) {
            m_scan.cutShort = true;
            return;
        }
        m_visited.emplace(identity->device, identity->inode);
        ++m_folderCount;
        try {
            scan(path, prefix, depth);
        } catch (const files::FileError&) {
            m_scan.unlistedFolders.push_back(prefix.substr(0, prefix.size() - 1));
        }
    }

    void addFile(const std::string& path, std::string name) {
        const files::FileType type = files::fileTypeOfName(name);
        const bool result = (type == files::FileType::Xlsx || type == files::FileType::Xlsm) &&
                            automation::isMergeResultFile(path);
        // The output file is left out only when an earlier merge wrote it: a source under that
        // name stays listed, so that the caller refuses to replace it.
        if (result && m_output && files::fileIdentity(path) == m_output) {
            m_scan.leftOut.push_back({std::move(name), LeftOutReason::OutputFile});
        } else if (result && !m_options.includeResults) {
            m_scan.leftOut.push_back({std::move(name), LeftOutReason::MergeResult});
        } else {
            m_scan.names.push_back(std::move(name));
        }
    }

    const FolderScanOptions& m_options;
    WorkbookScan& m_scan;
    std::optional<files::FileIdentity> m_output;
    // The folders already scanned, by device and inode.
    std::set<std::pair<uint64_t, uint64_t>> m_visited;
    int m_folderCount = 0;
};

}  // namespace

bool IsListedFileName(std::string_view name) {
    return groupOf(name) != kNoGroup;
}

WorkbookScan scanWorkbooks(const std::string& source, const FolderScanOptions& options) {
    WorkbookScan scan;
    if (GetPathKind(source) == kPathFile) {
        scan.names.push_back(fileNameOf(source));
        return scan;
    }
    FolderWalk walk(options, scan);
    walk.visitTop(source);
    walk.scan(source, {}, 0);
    return scan;
}

std::vector<std::string> workbookNamesOf(const std::string& source,
                                         const FolderScanOptions& options) {
    return scanWorkbooks(source, options).names;
}

std::optional<files::FileError> ListWorkbooks(controls::Form1Controls& form,
                                              const std::string& source) {
    controls::ListModel& list = form.ListView2;
    std::optional<files::FileError> failure;
    list.clear();
    form.leftOutWorkbooks.clear();
    try {
        FolderScanOptions options;
        options.recursive = form.includeSubfolders;
        WorkbookScan scan = scanWorkbooks(source, options);
        for (std::string& name : scan.names) {
            list.setChecked(list.add(std::move(name)), true);
        }
        for (LeftOutWorkbook& left : scan.leftOut) {
            form.leftOutWorkbooks.push_back(std::move(left.name));
        }
    } catch (const files::FileError& error) {
        failure = error;
    }
    list.setVisible(true);
    list.refresh();
    return failure;
}

}  // namespace plyfold::discovery
