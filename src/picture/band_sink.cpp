#include "picture/band_sink.h"

#include "picture/band_store.h"
#include "picture/picture.h"
#include "picture/picture_file.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace glimra {
namespace {

// The PNG's rows, compressed band by band as they come.
class PngSink : public BandSink {
public:
    explicit PngSink(const SinkTarget& t) : t_(t) { begin(); }

    bool write(const Pixels& band, long top, long, bool above) override
    {
        CompressedBand compressed;
        return compress(band, top, above, compressed) && writeKept(compressed);
    }
    bool writeKept(const CompressedBand& band) override { return png_->writeBand(band); }
    bool restart(std::string* why) override
    {
        if (!t_.file->restart(why))
            return false;
        begin();
        return true;
    }
    bool finish(std::string* why, const PartFault&) override
    {
        if (png_->finish())
            return true;
        *why = png_->failure();
        return false;
    }
    std::string failure() const override { return !why_.empty() ? why_ : png_->failure(); }

    bool compress(const Pixels& band, long top, bool above, CompressedBand& out)
    {
        const int from = above ? 1 : 0;
        if (compressBand(band, from, png_->previousRow().data(), top + from, kPngLevel, t_.threads, out))
            return true;
        why_ = writeFailure(0);
        return false;
    }
    void fail(std::string why) { why_ = std::move(why); }

private:
    void begin()
    {
        png_.reset();
        png_ = std::make_unique<PngStream>(t_.file->stream(), int(t_.width), int(t_.height), recipeChunks(*t_.recipe),
                                           kPngLevel, t_.threads);
    }

    SinkTarget t_;
    std::unique_ptr<PngStream> png_;
    std::string why_;
};

// Each band finished is also kept beside the picture, and a band kept by an
// earlier run of the same picture is taken instead of rendered.
class KeptBands : public BandSink {
public:
    KeptBands(std::unique_ptr<PngSink> png, BandStore& store) : png_(std::move(png)), store_(&store) {}

    bool write(const Pixels& band, long top, long index, bool above) override
    {
        CompressedBand compressed;
        if (!png_->compress(band, top, above, compressed) || !png_->writeKept(compressed))
            return false;
        std::string why;
        if (store_ && !store_->keep(index, compressed, &why)) {
            png_->fail(why);
            return false;
        }
        return true;
    }
    std::optional<CompressedBand> kept(long index) override { return store_ ? store_->load(index) : std::nullopt; }
    bool writeKept(const CompressedBand& band) override { return png_->writeKept(band); }
    void dropKept() override
    {
        if (store_)
            store_->removeAll();
        store_ = nullptr;
    }
    bool restart(std::string* why) override { return png_->restart(why); }
    bool finish(std::string* why, const PartFault& fault) override { return png_->finish(why, fault); }
    std::string failure() const override { return png_->failure(); }

private:
    std::unique_ptr<PngSink> png_;
    BandStore* store_;
};

// A poster's part: its bands, compressed, into the part file, the first one
// filtered against the row above it.
class PartSink : public BandSink {
public:
    PartSink(const SinkTarget& t) : t_(t), writer_(t.file->stream(), *t.part) {}

    bool write(const Pixels& band, long top, long index, bool above) override
    {
        const int from = above ? 1 : 0;
        if (above || previous_.empty())
            previous_ = above ? rgbRow(band, 0) : std::vector<unsigned char>(std::size_t(t_.width) * 3, 0);
        CompressedBand compressed;
        if (!compressBand(band, from, previous_.data(), top + from, kPngLevel, t_.threads, compressed)) {
            why_ = writeFailure(0);
            return false;
        }
        previous_ = compressed.lastRow;
        return writer_.add(index, compressed) || (why_ = writeFailure(writer_.error()), false);
    }
    bool restart(std::string* why) override
    {
        *why = "a part is never written again";
        return false;
    }
    bool finish(std::string* why, const PartFault& fault) override
    {
        if (writer_.finish(fault))
            return true;
        *why = writeFailure(writer_.error());
        return false;
    }
    std::string failure() const override { return why_; }

private:
    SinkTarget t_;
    BandFileWriter writer_;
    std::vector<unsigned char> previous_;  // the part's last row so far
    std::string why_;
};

// The whole picture in one image, written out (or handed over) at the end.
class ImageSink : public BandSink {
public:
    explicit ImageSink(const SinkTarget& t) : t_(t) { begin(); }

    bool write(const Pixels& band, long top, long, bool) override
    {
        for (int y = 0; y < band.height(); ++y)
            std::copy_n(band.row(y), band.width(), whole_.row(int(top) + y));
        return true;
    }
    bool restart(std::string*) override
    {
        begin();
        return true;
    }
    bool finish(std::string* why, const PartFault&) override
    {
        if (t_.into) {
            *t_.into = whole_;
            return true;
        }
        return writeImage(*t_.file, whole_, t_.suffix, t_.recipe, why, t_.stop);
    }
    std::string failure() const override { return {}; }

private:
    void begin() { whole_ = Pixels(int(t_.width), int(t_.height), pixelOf(kBackground)); }

    SinkTarget t_;
    Pixels whole_;
};

}  // namespace

std::unique_ptr<BandSink> makeBandSink(const SinkTarget& target)
{
    if (target.part)
        return std::make_unique<PartSink>(target);
    if (target.into || target.suffix != "png")
        return std::make_unique<ImageSink>(target);
    auto png = std::make_unique<PngSink>(target);
    if (target.store)
        return std::make_unique<KeptBands>(std::move(png), *target.store);
    return png;
}

}  // namespace glimra
