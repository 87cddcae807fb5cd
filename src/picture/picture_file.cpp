#include "picture/picture_file.h"

#include "render/parallel.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <memory>

namespace glimra {

namespace {

// The writer's failures show in what its calls return; the library prints
// nothing.
void quietWarning(png_structp, png_const_charp) {}
[[noreturn]] void quietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

}  // namespace

// ---------------------------------------------------------------------------
// PngStream

namespace {

// Where a PNG's bytes go, and why they did not (errno), for the message.
struct WriteTarget {
    FILE* out = nullptr;
    int error = 0;
};

void writeBytes(png_structp png, png_bytep data, std::size_t size)
{
    auto* target = static_cast<WriteTarget*>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, size, target->out) != size) {
        target->error = errno ? errno : EIO;
        png_error(png, "write error");
    }
}

void flushBytes(png_structp png)
{
    auto* target = static_cast<WriteTarget*>(png_get_io_ptr(png));
    if (std::fflush(target->out) != 0) {
        target->error = errno ? errno : EIO;
        png_error(png, "write error");
    }
}

}  // namespace

struct PngStream::State {
    WriteTarget target;
    png_structp png = nullptr;
    png_infop info = nullptr;
    int width = 0;
    int level = 1;
    int threads = 1;
    bool started = false;                  // the zlib header is out
    long rows = 0;                         // rows written so far
    std::vector<png_byte> previous;        // the last row, for the up filter
    uLong adler = adler32(0, nullptr, 0);  // of everything compressed so far
};

namespace {

// Each libpng call that may fail runs here: an error jumps back to this frame,
// which holds no C++ object that would need its destructor.
template <class Step>
bool guarded(png_structp png, Step step)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    step();
    return true;
}

// Rows of the picture data as PNG stores it: each row a filter byte and its
// bytes less the bytes of the row above ("up"), compressed as a run of deflate
// blocks that ends on a byte boundary, so that runs compressed apart, each on
// a thread of its own, follow one another as one stream.
struct Piece {
    std::vector<Bytef> out;
    uLong adler = 0;
    uLong length = 0;
    bool ok = false;
};

// A row of pixels as RGB bytes, PNG's and PPM's alike.
void rgbBytes(const Pixels& image, int y, png_byte* out)
{
    const Pixel* line = image.row(y);
    for (int x = 0; x < image.width(); ++x) {
        out[3 * x] = png_byte(redOfPixel(line[x]));
        out[3 * x + 1] = png_byte(greenOfPixel(line[x]));
        out[3 * x + 2] = png_byte(blueOfPixel(line[x]));
    }
}

// `above` is the row before row `first`, for the first piece; a later piece
// takes the row above it from `rows` itself.
void compressRows(const Pixels& rows, int from, int to, const png_byte* above, int first, int level, Piece& piece)
{
    const std::size_t width = std::size_t(rows.width());
    std::vector<Bytef> data;
    data.reserve((to - from) * (1 + 3 * width));
    std::vector<png_byte> current(3 * width), last(3 * width);
    if (from == first)
        std::copy_n(above, last.size(), last.begin());
    else
        rgbBytes(rows, from - 1, last.data());
    for (int y = from; y < to; ++y) {
        rgbBytes(rows, y, current.data());
        data.push_back(2);  // up
        for (std::size_t k = 0; k < current.size(); ++k)
            data.push_back(Bytef(current[k] - last[k]));
        std::swap(current, last);
    }
    piece.length = uLong(data.size());
    piece.adler = adler32(adler32(0, nullptr, 0), data.data(), uInt(data.size()));
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return;
    piece.out.resize(deflateBound(&z, uLong(data.size())) + 16);
    z.next_in = data.data();
    z.avail_in = uInt(data.size());
    z.next_out = piece.out.data();
    z.avail_out = uInt(piece.out.size());
    piece.ok = deflate(&z, Z_SYNC_FLUSH) == Z_OK && z.avail_in == 0;
    piece.out.resize(piece.out.size() - z.avail_out);
    deflateEnd(&z);
}

}  // namespace

PngStream::PngStream(FILE* out, int width, int height, const TextChunks& chunks, int level, int threads)
    : state_(new State)
{
    State& s = *state_;
    s.width = width;
    s.level = level;
    s.threads = std::max(1, threads);
    s.previous.assign(std::size_t(width) * 3, 0);
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
    s.info = s.png ? png_create_info_struct(s.png) : nullptr;
    if (!s.info) {
        failed_ = true;
        return;
    }
    std::vector<png_text> text(chunks.size());
    for (std::size_t k = 0; k < chunks.size(); ++k) {
        text[k] = png_text{};
        // Box texts are whatever was typed: UTF-8, so international text
        // chunks; the program's name is plain Latin-1.
        text[k].compression = k == 0 ? PNG_TEXT_COMPRESSION_NONE : PNG_ITXT_COMPRESSION_NONE;
        text[k].key = const_cast<char*>(chunks[k].first.c_str());
        text[k].text = const_cast<char*>(chunks[k].second.c_str());
        text[k].text_length = chunks[k].second.size();
        text[k].lang = nullptr;
        text[k].lang_key = nullptr;
    }
    s.target.out = out;
    failed_ = !guarded(s.png, [&] {
        png_set_write_fn(s.png, &s.target, writeBytes, flushBytes);
        png_set_IHDR(s.png, s.info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (!text.empty())
            png_set_text(s.png, s.info, text.data(), int(text.size()));
        png_write_info(s.png, s.info);
    });
}

PngStream::~PngStream()
{
    if (state_->png)
        png_destroy_write_struct(&state_->png, state_->info ? &state_->info : nullptr);
    delete state_;
}

std::string PngStream::failure() const { return writeFailure(state_->target.error); }

bool PngStream::writeData(const unsigned char* data, std::size_t size)
{
    failed_ = failed_ || !guarded(state_->png, [&] {
                  png_write_chunk(state_->png, reinterpret_cast<png_const_bytep>("IDAT"), data, size);
              });
    return !failed_;
}

bool PngStream::writeRows(const Pixels& rows)
{
    if (failed_ || rows.height() == 0)
        return !failed_;
    CompressedBand band;
    if (!compressBand(rows, 0, state_->previous.data(), state_->rows, state_->level, state_->threads, band)) {
        failed_ = true;
        return false;
    }
    return writeBand(band);
}

bool PngStream::writeBand(const CompressedBand& band)
{
    State& s = *state_;
    if (failed_ || band.rows == 0)
        return !failed_;
    if (!s.started) {
        // zlib's header: deflate with a 32 KiB window, no preset dictionary.
        const unsigned char header[2] = {0x78, 0x01};
        if (!writeData(header, 2))
            return false;
        s.started = true;
    }
    for (const auto& piece : band.pieces)
        if (!writeData(piece.data(), piece.size()))
            return false;
    s.adler = adler32_combine(s.adler, uLong(band.adler), z_off_t(band.length));
    s.rows += band.rows;
    if (band.lastRow.size() == s.previous.size())
        s.previous = band.lastRow;
    return true;
}

const std::vector<unsigned char>& PngStream::previousRow() const { return state_->previous; }
long PngStream::rowsWritten() const { return state_->rows; }

std::vector<unsigned char> rgbRow(const Pixels& image, int y)
{
    std::vector<unsigned char> row(std::size_t(image.width()) * 3);
    rgbBytes(image, y, row.data());
    return row;
}

bool compressBand(const Pixels& image, int from, const unsigned char* above, long pictureTop, int level, int threads,
                  CompressedBand& out)
{
    constexpr long kPieceRows = 64;
    out = CompressedBand{};
    const long count = image.height() - from;
    if (count <= 0)
        return true;
    // Pieces end where the picture's row number is a multiple of kPieceRows.
    std::vector<int> cuts = {from};
    for (long row = (pictureTop / kPieceRows + 1) * kPieceRows; row < pictureTop + count; row += kPieceRows)
        cuts.push_back(int(from + row - pictureTop));
    cuts.push_back(image.height());
    const std::size_t pieces = cuts.size() - 1;
    std::vector<Piece> done(pieces);
    parallel::forEach(long(pieces), std::max(1, threads), [&](long p) {
        const std::size_t k = std::size_t(p);
        compressRows(image, cuts[k], cuts[k + 1], above, from, level, done[k]);
    });
    for (Piece& piece : done) {
        if (!piece.ok)
            return false;
        out.adler = adler32_combine(uLong(out.adler), piece.adler, z_off_t(piece.length));
        out.length += piece.length;
        out.pieces.push_back(std::move(piece.out));
    }
    out.rows = count;
    out.lastRow = rgbRow(image, image.height() - 1);
    return true;
}

bool PngStream::finish()
{
    State& s = *state_;
    if (failed_ || !s.started)
        return failed_ = true, false;
    // The final, empty deflate block, then the checksum of all the data.
    const unsigned char end[6] = {0x03,          0x00, Bytef(s.adler >> 24), Bytef(s.adler >> 16), Bytef(s.adler >> 8),
                                  Bytef(s.adler)};
    if (!writeData(end, sizeof end))
        return false;
    failed_ = !guarded(s.png, [&] { png_write_chunk(s.png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0); });
    if (!failed_)
        failed_ = !guarded(s.png, [&] { png_write_flush(s.png); });
    return !failed_;
}

}  // namespace glimra
