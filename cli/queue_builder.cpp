#include "cli/queue_builder.h"

#include <fstream>

#include "app/form1.h"
#include "discovery/list_workbooks.h"
#include "discovery/path_helpers.h"

namespace plyfold::cli {
namespace {

void appendEntry(controls::ListModel& queue, const std::string& path, const std::string& sheet) {
    int row = queue.add(path);
    queue.setChecked(row, true);
    queue.setSubItem(row, sheet);
}

}  // namespace

std::optional<ResolvedSource> resolveSource(const SourceArgument& argument) {
    int kind = discovery::GetPathKind(argument.text);
    if (kind != discovery::kPathMissing) {
        return ResolvedSource{argument.text, kind, argument.sheets};
    }
    size_t colon = argument.text.rfind(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    std::string file = argument.text.substr(0, colon);
    if (discovery::GetPathKind(file) != discovery::kPathFile) {
        return std::nullopt;
    }
    ResolvedSource source{file, discovery::kPathFile, {argument.text.substr(colon + 1)}};
    source.sheets.insert(source.sheets.end(), argument.sheets.begin(), argument.sheets.end());
    return source;
}

void queueSource(app::Form1& form, const ResolvedSource& source) {
    controls::Form1Controls& c = form.controls();
    if (!source.sheets.empty()) {
        for (const std::string& sheet : source.sheets) {
            appendEntry(c.ListView4, source.path, sheet);
        }
        return;
    }
    c.ListView1.clear();
    c.ListView1.select(c.ListView1.add(source.path));
    discovery::ListWorkbooks(c, source.path);
    form.Command20_Click();
}

std::optional<std::string> queueFromFile(app::Form1& form, const std::string& queueFile) {
    std::ifstream in(queueFile, std::ios::binary);
    if (!in) {
        return "cannot read the queue file '" + queueFile + "'";
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty()) {
            continue;
        }
        size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            return "line " + std::to_string(number) + " of '" + queueFile +
                   "' has no TAB between path and sheet";
        }
        appendEntry(form.controls().ListView4, line.substr(0, tab), line.substr(tab + 1));
    }
    return std::nullopt;
}

}  // namespace plyfold::cli
