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

// One deflate library on the same bytes: inflating every deflated entry of the packages
// (sizes known, whole buffers) and deflating one large sheet at level 1.
struct CodecFloor {
    std::string library;
    Floor inflate;
    Floor deflate;
    double compressedBytes = 0;  // what the deflate produced
};

// A result-like sheet part of at least minBytes: the packages' worksheet parts laid end to
// end, over again as needed.
std::string resultLikeSheet(const std::vector<std::string>& packages, size_t minBytes);
// zlib, ISA-L and (when the bench was built with it) libdeflate.
std::vector<CodecFloor> codecFloors(const std::vector<std::string>& packages,
                                    const std::string& sheet);

}  // namespace plyfold::bench
