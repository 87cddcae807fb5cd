// Picture files: written whole or not at all, PNG streamed row by row with the
// settings that made the picture, and those settings read back.
#pragma once

#include "render/frame.h"

#include <QImage>
#include <QString>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace glimra {

// A picture's density (its resolution over the same region) and samples per
// pixel on a side go up to these.
inline constexpr int kMaxDensity = 64;
inline constexpr int kMaxSamples = 8;

// What a picture file says about how it was made: enough to make it again.
struct PictureRecipe {
    std::string pattern;  // the pattern's name
    PatternTexts texts;   // the five box texts exactly as typed
    int density = 1;
    int samples = 1;
};

using TextChunks = std::vector<std::pair<std::string, std::string>>;

// The text chunks that carry a recipe, the program and its version first.
TextChunks recipeChunks(const PictureRecipe& recipe);

// The recipe a PNG of ours carries; nothing, with the reason in `error`, for a
// file that cannot be read, is no regular file (a pipe is refused, not waited
// on), is no PNG, holds no recipe (or a broken one), or holds more than the
// reader takes: a setting of more than 1 MiB, more than 2 MiB of text, more
// than 32 text chunks. Whatever the file, reading it holds a few MiB at most.
std::optional<PictureRecipe> readRecipe(const QString& path, QString* error);

// A file that appears under its name only when it is complete. It is written
// as a temporary file beside the target and renamed over it at commit(); until
// then an earlier file of that name stays untouched, and a file that is never
// committed is removed. The temporary name, .NAME.glimra-PID-XXXXXX, tells
// whose it is: opening a target removes those that processes no longer
// running left beside it. A pipe or a device (standard output, say) cannot be
// replaced that way and is written directly.
class OutputFile {
public:
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Before any long work: fails at once when the target cannot be written.
    bool open(std::string* error);
    FILE* stream() const { return stream_; }
    // Starts the content again from nothing (not possible on a pipe).
    bool restart(std::string* error);
    bool commit(std::string* error);
    // Gives up: the temporary file goes, the target stays as it was.
    void discard();

    // For a signal handler: removes the temporary file being written, using
    // only calls that are safe there.
    static void removePendingFromSignal();

    // The target as given, for messages.
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string real_;  // what is replaced: the file a link points at
    std::string temporary_;
    FILE* stream_ = nullptr;
    bool direct_ = false;
};

// What a failed write's errno means for a picture file: the system's words,
// except that a pipe's reader going away is said as that.
std::string writeFailure(int error);

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

// Compresses rows `from` to the end of a 32-bit image, which are rows
// `pictureTop` onwards of the picture; `above` is the RGB row just above them
// (zeros above the picture's first row). False when compressing failed.
bool compressBand(const QImage& image, int from, const unsigned char* above, long pictureTop, int level,
                  int threads, CompressedBand& out);

// Row y of a 32-bit image as RGB bytes.
std::vector<unsigned char> rgbRow(const QImage& image, int y);

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

    // Appends the rows of a 32-bit image as wide as the picture.
    bool writeRows(const QImage& rows);
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

// How glimra compresses PNG: every row with the "up" filter, at zlib's fastest
// level, in pieces compressed side by side on every core. Encoding then costs
// about what rendering the cheapest pattern does, where libpng's defaults
// (level 6, every filter tried on every row, one thread) cost several times
// that, for files about a quarter larger (bench/png_levels.cpp measures both).
inline constexpr int kPngLevel = 1;

// The format a picture is written in under `path`: its suffix ("png", "ppm",
// ...) when the toolkit can write that, PNG for a pipe or device without one
// (standard output, say), else empty.
QByteArray pictureFormat(const QString& path);

// Writes a whole picture into an open output file in the format a suffix
// names ("png", "ppm", ...); a PNG carries the recipe's text chunks.
// `cancelled` is asked between bands of rows.
bool writeImage(OutputFile& file, const QImage& image, const QByteArray& suffix, const PictureRecipe* recipe,
                std::string* error, const std::function<bool()>& cancelled = {});

// Writes a whole picture under `path`, its format taken from the suffix; a
// PNG carries the recipe's text chunks. `cancelled` is asked between bands of
// rows; a cancelled or failed write leaves no file behind.
bool writePicture(const QImage& image, const QString& path, const PictureRecipe* recipe, QString* error,
                  const std::function<bool()>& cancelled = {});

}  // namespace glimra
