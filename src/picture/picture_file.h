// Picture files: PNG streamed row by row with the settings that made the
// picture, PPM, and every other format the toolkit writes (picture/toolkit.h). The settings
// themselves are in recipe.h, the file written whole or not at all in
// output_file.h.
#pragma once

#include "picture/output_file.h"
#include "picture/pixels.h"
#include "picture/recipe.h"
#include "render/frame.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace glimra {

// A band of picture rows compressed as PNG stores them: its pieces (one IDAT
// chunk each), the checksum and length of the filtered bytes they hold, and
// the band's last row as RGB bytes, which the band below is filtered against.
// Pieces are cut at every 64th row of the picture, whatever the bands or the
// threads, so a picture's file is the same byte for byte however it was split
// up to be rendered.
struct CompressedBand {
    std::vector<std::vector<unsigned char>> pieces;
    unsigned long adler = 1;
    unsigned long long length = 0;
    long rows = 0;
    std::vector<unsigned char> lastRow;
};

// Compresses rows `from` to the end of `image`, which are rows
// `pictureTop` onwards of the picture; `above` is the RGB row just above them
// (zeros above the picture's first row). False when compressing failed.
bool compressBand(const Pixels& image, int from, const unsigned char* above, long pictureTop, int level, int threads,
                  CompressedBand& out);

// Row y as RGB bytes.
std::vector<unsigned char> rgbRow(const Pixels& image, int y);

// Writes a PNG row by row, so a picture never has to be held whole. Every
// failure (a full disk, a write error) is reported, never thrown.
class PngStream {
public:
    // `level` is the zlib compression level, 0 to 9; rows given together are
    // compressed on up to `threads` threads.
    PngStream(FILE* out, int width, int height, const TextChunks& chunks, int level, int threads);
    ~PngStream();
    PngStream(const PngStream&) = delete;
    PngStream& operator=(const PngStream&) = delete;

    // Appends rows as wide as the picture.
    bool writeRows(const Pixels& rows);
    // Appends rows compressed before (by compressBand against previousRow()).
    bool writeBand(const CompressedBand& band);
    // The last row written, as RGB bytes (zeros before the first).
    const std::vector<unsigned char>& previousRow() const;
    long rowsWritten() const;
    bool finish();
    bool failed() const { return failed_; }
    // Why writing failed: the system's reason, or that compressing did.
    std::string failure() const;

private:
    bool writeData(const unsigned char* data, std::size_t size);
    struct State;
    State* state_;
    bool failed_ = false;
};

// The largest picture on a side; larger than kMaxPlainSide, pictures are
// rendered in bands and must be PNG.
inline constexpr long kMaxPlainSide = 8192;
inline constexpr long kMaxSide = 65536;

// How glimra compresses PNG: every row with the "up" filter, at zlib's fastest
// level, in pieces compressed side by side on every core. Encoding then costs
// about what rendering the cheapest pattern does, where libpng's defaults
// (level 6, every filter tried on every row, one thread) cost several times
// that, for files about a quarter larger (bench/png_levels.cpp measures both).
inline constexpr int kPngLevel = 1;

// The format a picture is written in under `path`: its suffix ("png", "ppm",
// ...) when this program or the toolkit can write that, PNG for a pipe or
// device without one (standard output, say), else empty.
QByteArray pictureFormat(const QString& path);

// Writes a whole picture into an open output file in the format a suffix
// names ("png", "ppm", ...); a PNG carries the recipe's text chunks.
// `cancelled` is asked between bands of rows.
bool writeImage(OutputFile& file, const Pixels& image, const QByteArray& suffix, const PictureRecipe* recipe,
                std::string* error, const std::function<bool()>& cancelled = {});

// Writes a whole picture under `path`, its format taken from the suffix; a
// PNG carries the recipe's text chunks. `cancelled` is asked between bands of
// rows; a cancelled or failed write leaves no file behind.
bool writePicture(const Pixels& image, const QString& path, const PictureRecipe* recipe, QString* error,
                  const std::function<bool()>& cancelled = {});

}  // namespace glimra
