#include "engine/io/xlsx/ole_probe.h"

namespace plyfold::engine::xlsx_read {
namespace {

// The streams looked for sit in the first directory sectors; real files have a handful.
constexpr uint64_t kMaxDirectorySectors = 4096;

}  // namespace

OleContent probeOle(const ReadAt& readAt, uint64_t size) {
    const auto entries = compound::readDirectory(readAt, size, kMaxDirectorySectors);
    if (!entries) {
        return OleContent::NotOle;
    }
    bool info = false;
    bool package = false;
    for (const compound::DirectoryEntry& entry : *entries) {
        info = info || entry.name == "EncryptionInfo";
        package = package || entry.name == "EncryptedPackage";
    }
    return info && package ? OleContent::Encrypted : OleContent::Other;
}

}  // namespace plyfold::engine::xlsx_read
