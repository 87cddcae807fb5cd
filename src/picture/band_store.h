// The finished bands of a PNG rendered with --resume, kept one file each in a
// folder beside the target, so that a render stopped or killed goes on where
// it was.
#pragma once

#include "picture/band_file.h"

#include <optional>
#include <string>

namespace glimra {

// The finished bands of a render that may be interrupted, one file each in a
// folder beside the target; a band file that does not belong to this picture
// or fails its checksum is rendered again, never trusted.
//
// The folder is the user's to share or not, so it is taken only as this
// program made it: a folder, no link, the user's own, writable by nobody
// else, holding nothing but band files. A file written there is created
// new and renamed into place; what is removed is only band files (by name
// and content), and the folder itself only once empty.
class BandStore {
public:
    BandStore(std::string folder, BandHeader header);
    bool prepare(std::string* why);
    std::optional<CompressedBand> load(long index);
    bool keep(long index, const CompressedBand& band, std::string* why);
    // After the picture is written, or when its bands cannot be used.
    void removeAll();
    // The same for the store beside `output` of whatever picture, when no
    // store was prepared.
    static void removeBandsOf(const std::string& output);

private:
    std::string bandPath(long index) const;
    std::string folder_;
    BandHeader header_;
};

}  // namespace glimra
