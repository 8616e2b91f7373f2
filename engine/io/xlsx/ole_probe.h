#pragma once

#include <cstdint>

#include "engine/io/compound/compound_file.h"

namespace plyfold::engine::xlsx_read {

enum class OleContent {
    NotOle,     // not an OLE compound file
    Encrypted,  // an encrypted Office Open XML package (EncryptionInfo + EncryptedPackage)
    Other       // some other compound file, such as a binary .xls workbook
};

// Reads up to n bytes at offset into buffer and returns how many it read.
using ReadAt = compound::ReadAt;

// Looks into the directory of a compound file for the streams of an encrypted package.
// Bounded by the file's size, whatever its header claims; reads only the directory.
OleContent probeOle(const ReadAt& readAt, uint64_t size);

}  // namespace plyfold::engine::xlsx_read
