#pragma once

#include <string>
#include <vector>

namespace plyfold::bench {

// What the machine does with the same bytes and no work of ours: the floor that a reader
// and a writer are compared with.
struct Floor {
    double seconds = 0;
    double bytes = 0;  // uncompressed bytes handled
};

// Inflates every entry of the packages.
Floor inflateFloor(const std::vector<std::string>& packages);
// Parses the worksheet parts of the packages with expat and no handlers.
Floor expatFloor(const std::vector<std::string>& packages);
// Deflates the worksheet parts of the packages at the given zlib level; also returns the
// compressed size in compressedBytes.
Floor deflateFloor(const std::vector<std::string>& packages, int level, double& compressedBytes);

}  // namespace plyfold::bench
