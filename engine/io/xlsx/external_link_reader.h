#pragma once

#include <string>
#include <string_view>

#include "engine/common/memory_budget.h"
#include "engine/io/xlsx/zip_package.h"
#include "engine/model/external_link.h"

namespace plyfold::engine::xlsx_read {

// Reads an external link part (stored name part) into book: the other file's location (from
// the part's relationship, made a path where it names a local file; relative locations are
// taken from the folder of sourceFile), its sheet names, names and cached cell values. Throws
// ReadFailure for a damaged part.
// The cached cells are counted in account as they are read.
void readExternalLink(ZipPackage& package, const std::string& part, ExternalBook& book,
                      std::string_view sourceFile, MemoryAccount& account);

// The path a relationship target names: "file:///dir/a%20b.xlsx" -> "/dir/a b.xlsx"; a
// relative location joined to the folder of sourceFile; anything else as it is.
std::string externalLinkPath(std::string_view target, std::string_view sourceFile);

}  // namespace plyfold::engine::xlsx_read
