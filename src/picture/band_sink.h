// Where the bands of a picture rendered in bands go, behind one interface:
// a PNG streamed band by band, a part file of a poster, or one image (a file
// in another format, never larger than kMaxPlainSide, or memory). Kept bands
// for a render that resumes are a layer over the PNG stream.
#pragma once

#include "picture/band_file.h"
#include "picture/output_file.h"
#include "picture/pixels.h"
#include "picture/recipe.h"
#include "render/frame.h"

#include <QByteArray>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace glimra {

class BandStore;

class BandSink {
public:
    virtual ~BandSink() = default;
    // `band` holds the picture's rows from `top`, band number `index`; with
    // `above`, its first row is only the row above the rest, which the rest
    // is filtered against.
    virtual bool write(const Pixels& band, long top, long index, bool above) = 0;
    // A band an earlier run kept, written instead of rendered; none where
    // nothing is kept.
    virtual std::optional<CompressedBand> kept(long) { return std::nullopt; }
    virtual bool writeKept(const CompressedBand&) { return false; }
    // The kept bands no longer fit the picture (a fault changes it).
    virtual void dropKept() {}
    // The picture from its first row again.
    virtual bool restart(std::string* why) = 0;
    // `fault` is what a part file records of the first fault met.
    virtual bool finish(std::string* why, const PartFault& fault) = 0;
    // Why the last write failed.
    virtual std::string failure() const = 0;
};

// The sink a request's picture goes to: a part file when `part` is given, a
// PNG stream for "png", else one image, written into `file` at the end or,
// with `into`, handed over in memory. With `store`, the PNG's bands are also
// kept there and bands it holds are taken.
struct SinkTarget {
    OutputFile* file = nullptr;
    QByteArray suffix;
    const PictureRecipe* recipe = nullptr;
    long width = 0;
    long height = 0;
    int threads = 1;
    std::function<bool()> stop;
    const BandHeader* part = nullptr;
    Pixels* into = nullptr;
    BandStore* store = nullptr;
};
std::unique_ptr<BandSink> makeBandSink(const SinkTarget& target);

}  // namespace glimra
