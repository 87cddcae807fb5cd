#include "picture/picture_file.h"

#include "render/place.h"
#include "version.h"

#include <QFile>
#include <QFileInfo>
#include <QImageWriter>

#include <png.h>
#include <zlib.h>

#include <cerrno>
#include <algorithm>
#include <csetjmp>
#include <system_error>
#include <thread>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace glimra {
namespace {

constexpr const char* kSoftwareKey = "Software";
constexpr const char* kSoftware = "Color Glimra " GLIMRA_VERSION;

// A parameter's key in a file: glimra-x, glimra-y, ...
std::string textKey(const ParameterName& p) { return std::string("glimra-") + p.name; }
constexpr const char* kPatternKey = "glimra-pattern";
constexpr const char* kDensityKey = "glimra-density";
constexpr const char* kSamplesKey = "glimra-samples";

std::string systemError(const std::string& what, int error) { return what + ": " + std::strerror(error); }

// The temporary file being written, for the signal handler; plain characters
// because that is all a handler may touch.
char g_pending[4096];

void setPending(const std::string& path)
{
    if (path.size() < sizeof g_pending) {
        std::memcpy(g_pending, path.c_str(), path.size() + 1);
    } else {
        g_pending[0] = '\0';
    }
}

// Whole numbers from 1 to `most`, written plainly; nothing else.
std::optional<int> smallWholeNumber(const std::string& text, int most)
{
    if (text.empty() || text.size() > 2)
        return std::nullopt;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > most)
        return std::nullopt;
    return v;
}

}  // namespace

TextChunks recipeChunks(const PictureRecipe& recipe)
{
    TextChunks chunks = {{kSoftwareKey, kSoftware}, {kPatternKey, recipe.pattern}};
    for (const ParameterName& p : kParameterNames)
        chunks.emplace_back(textKey(p), recipe.texts.*p.text);
    if (recipe.density != 1)
        chunks.emplace_back(kDensityKey, std::to_string(recipe.density));
    if (recipe.samples != 1)
        chunks.emplace_back(kSamplesKey, std::to_string(recipe.samples));
    // The same settings as one line, as the window copies and pastes them.
    if (!recipe.pattern.empty())
        chunks.emplace_back("glimra-place", formatPlace(Place{recipe.pattern, recipe.texts}));
    return chunks;
}

// ---------------------------------------------------------------------------
// Reading

namespace {

struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReader()
    {
        if (png)
            png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

void quietWarning(png_structp, png_const_charp) {}
// Errors are reported by what the caller returns, not printed by the library.
[[noreturn]] void quietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Reads every text chunk before the picture data; false when the file is not a
// PNG or is broken before its data. No C++ object lives across the jump.
bool readTextChunks(FILE* file, PngReader& reader, png_textp* text, int* count)
{
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
    if (!reader.png)
        return false;
    reader.info = png_create_info_struct(reader.png);
    if (!reader.info)
        return false;
    if (setjmp(png_jmpbuf(reader.png)))
        return false;
    png_init_io(reader.png, file);
    png_read_info(reader.png, reader.info);
    *count = png_get_text(reader.png, reader.info, text, nullptr);
    return true;
}

}  // namespace

std::optional<PictureRecipe> readRecipe(const QString& path, QString* error)
{
    auto fail = [&](const QString& why) -> std::optional<PictureRecipe> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(QFile::encodeName(path).constData(), "rb"), std::fclose);
    if (!file)
        return fail(QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    unsigned char signature[8] = {};
    if (std::fread(signature, 1, 8, file.get()) != 8 || png_sig_cmp(signature, 0, 8) != 0)
        return fail(QStringLiteral("%1 is not a PNG picture").arg(path));
    std::rewind(file.get());

    PngReader reader;
    png_textp text = nullptr;
    int count = 0;
    if (!readTextChunks(file.get(), reader, &text, &count))
        return fail(QStringLiteral("%1 is a damaged PNG picture").arg(path));

    std::vector<std::pair<std::string, std::string>> found;
    for (int k = 0; k < count; ++k) {
        const std::size_t length = text[k].compression > 0 ? text[k].itxt_length : text[k].text_length;
        found.emplace_back(text[k].key ? text[k].key : "", std::string(text[k].text ? text[k].text : "", length));
    }
    auto value = [&](const char* key) -> const std::string* {
        // The last of repeated chunks wins, as it would for any reader that
        // fills a table in file order.
        const std::string* v = nullptr;
        for (const auto& [k, t] : found)
            if (k == key)
                v = &t;
        return v;
    };

    const std::string* pattern = value(kPatternKey);
    if (!pattern)
        return fail(QStringLiteral("%1 holds no Color Glimra picture settings").arg(path));
    PictureRecipe recipe;
    recipe.pattern = *pattern;
    for (const ParameterName& p : kParameterNames) {
        const std::string key = textKey(p);
        const std::string* t = value(key.c_str());
        if (!t)
            return fail(QStringLiteral("%1 lacks the setting %2").arg(path, QString::fromStdString(key)));
        recipe.texts.*p.text = *t;
    }
    if (const std::string* d = value(kDensityKey)) {
        const auto v = smallWholeNumber(*d, 64);
        if (!v)
            return fail(QStringLiteral("%1 has a broken density setting").arg(path));
        recipe.density = *v;
    }
    if (const std::string* s = value(kSamplesKey)) {
        const auto v = smallWholeNumber(*s, 8);
        if (!v)
            return fail(QStringLiteral("%1 has a broken samples setting").arg(path));
        recipe.samples = *v;
    }
    return recipe;
}

// ---------------------------------------------------------------------------
// OutputFile

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {}

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open(std::string* error)
{
    struct stat target {};
    if (::stat(path_.c_str(), &target) == 0 && !S_ISREG(target.st_mode)) {
        if (S_ISDIR(target.st_mode)) {
            *error = path_ + " is a folder";
            return false;
        }
        if (!S_ISFIFO(target.st_mode) && !S_ISCHR(target.st_mode)) {
            *error = path_ + " is neither a file, a pipe nor a terminal";
            return false;
        }
        // Opening a pipe nobody reads would wait for a reader forever.
        const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            *error = errno == ENXIO ? path_ + ": nobody reads this pipe" : systemError(path_, errno);
            return false;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        stream_ = ::fdopen(fd, "wb");
        direct_ = true;
        return stream_ != nullptr;
    }

    // Through a link to a file, the file is what gets replaced, not the link.
    const QFileInfo info(QString::fromStdString(path_));
    const std::string real = info.isSymLink() && info.exists() ? info.canonicalFilePath().toStdString() : path_;
    const QFileInfo realInfo(QString::fromStdString(real));
    std::string pattern = realInfo.absolutePath().toStdString() + "/." + realInfo.fileName().toStdString() + ".XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        *error = systemError("cannot write " + path_, errno);
        return false;
    }
    temporary_ = pattern;
    path_ = real;
    setPending(temporary_);
    stream_ = ::fdopen(fd, "wb");
    if (!stream_) {
        ::close(fd);
        *error = systemError("cannot write " + path_, errno);
        discard();
        return false;
    }
    return true;
}

bool OutputFile::restart(std::string* error)
{
    if (direct_ || !stream_) {
        *error = "cannot start " + path_ + " again";
        return false;
    }
    std::rewind(stream_);
    if (std::fflush(stream_) != 0 || ::ftruncate(::fileno(stream_), 0) != 0) {
        *error = systemError(path_, errno);
        return false;
    }
    return true;
}

bool OutputFile::commit(std::string* error)
{
    if (!stream_) {
        *error = path_ + " is not open";
        return false;
    }
    FILE* f = std::exchange(stream_, nullptr);
    bool ok = std::fflush(f) == 0 && !std::ferror(f);
    int err = ok ? 0 : errno;
    if (ok && !direct_ && ::fsync(::fileno(f)) != 0) {
        ok = false;
        err = errno;
    }
    if (ok && !direct_) {
        // A new file gets the usual permissions, a replaced one keeps its own.
        struct stat old {};
        mode_t mode;
        if (::stat(path_.c_str(), &old) == 0) {
            mode = old.st_mode & 07777;
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        ::fchmod(::fileno(f), mode);
    }
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && !direct_ && ::rename(temporary_.c_str(), path_.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        *error = systemError("cannot write " + path_, err ? err : EIO);
        discard();
        return false;
    }
    temporary_.clear();
    g_pending[0] = '\0';
    return true;
}

void OutputFile::discard()
{
    if (stream_)
        std::fclose(std::exchange(stream_, nullptr));
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
        g_pending[0] = '\0';
    }
}

void OutputFile::removePendingFromSignal()
{
    if (g_pending[0])
        ::unlink(g_pending);
}

// ---------------------------------------------------------------------------
// PngStream

struct PngStream::State {
    png_structp png = nullptr;
    png_infop info = nullptr;
    int width = 0;
    int level = 1;
    int threads = 1;
    bool started = false;                // the zlib header is out
    std::vector<png_byte> previous;      // the last row, for the up filter
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

// A row of a 32-bit image as PNG's RGB bytes.
void rgbBytes(const QImage& image, int y, png_byte* out)
{
    const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
        out[3 * x] = png_byte(qRed(line[x]));
        out[3 * x + 1] = png_byte(qGreen(line[x]));
        out[3 * x + 2] = png_byte(qBlue(line[x]));
    }
}

// `above` is the row before the picture's rows given here, for the first
// piece; a later piece takes the row above it from `rows` itself.
void compressRows(const QImage& rows, int from, int to, const png_byte* above, int level, Piece& piece)
{
    const std::size_t width = std::size_t(rows.width());
    std::vector<Bytef> data;
    data.reserve((to - from) * (1 + 3 * width));
    std::vector<png_byte> current(3 * width), last(3 * width);
    if (from == 0)
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
    failed_ = !guarded(s.png, [&] {
        png_init_io(s.png, out);
        png_set_IHDR(s.png, s.info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
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

bool PngStream::writeData(const unsigned char* data, std::size_t size)
{
    failed_ = failed_ || !guarded(state_->png, [&] {
        png_write_chunk(state_->png, reinterpret_cast<png_const_bytep>("IDAT"), data, size);
    });
    return !failed_;
}

bool PngStream::writeRows(const QImage& rows)
{
    State& s = *state_;
    if (failed_ || rows.height() == 0)
        return !failed_;
    if (!s.started) {
        // zlib's header: deflate with a 32 KiB window, no preset dictionary.
        const unsigned char header[2] = {0x78, 0x01};
        if (!writeData(header, 2))
            return false;
        s.started = true;
    }
    // Pieces of at least 32 rows, one per thread, compressed side by side.
    const int pieces = std::clamp(rows.height() / 32, 1, s.threads);
    std::vector<Piece> done(static_cast<std::size_t>(pieces));
    auto bounds = [&](int p) { return rows.height() * p / pieces; };
    auto compress = [&](int p) {
        compressRows(rows, bounds(p), bounds(p + 1), s.previous.data(), s.level, done[std::size_t(p)]);
    };
    {
        std::vector<std::thread> helpers;
        int p = 1;
        try {
            for (; p < pieces; ++p)
                helpers.emplace_back(compress, p);
        } catch (const std::system_error&) {
            // No more threads to be had: the rest on this one, the same bytes.
            for (; p < pieces; ++p)
                compress(p);
        }
        compress(0);
        for (std::thread& t : helpers)
            t.join();
    }
    for (const Piece& piece : done) {
        if (!piece.ok || !writeData(piece.out.data(), piece.out.size())) {
            failed_ = true;
            return false;
        }
        s.adler = adler32_combine(s.adler, piece.adler, z_off_t(piece.length));
    }
    rgbBytes(rows, rows.height() - 1, s.previous.data());
    return true;
}

bool PngStream::finish()
{
    State& s = *state_;
    if (failed_ || !s.started)
        return failed_ = true, false;
    // The final, empty deflate block, then the checksum of all the data.
    const unsigned char end[6] = {0x03, 0x00, Bytef(s.adler >> 24), Bytef(s.adler >> 16), Bytef(s.adler >> 8),
                                  Bytef(s.adler)};
    if (!writeData(end, sizeof end))
        return false;
    failed_ = !guarded(s.png, [&] { png_write_chunk(s.png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0); });
    if (!failed_)
        failed_ = !guarded(s.png, [&] { png_write_flush(s.png); });
    return !failed_;
}

// ---------------------------------------------------------------------------

QByteArray pictureFormat(const QString& path)
{
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    if (!suffix.isEmpty() && QImageWriter::supportedImageFormats().contains(suffix))
        return suffix;
    struct stat target {};
    if (::stat(QFile::encodeName(path).constData(), &target) == 0 &&
        (S_ISFIFO(target.st_mode) || S_ISCHR(target.st_mode)))
        return "png";
    return {};
}

bool writeImage(OutputFile& file, const QImage& image, const QByteArray& suffix, const PictureRecipe* recipe,
                std::string* error, const std::function<bool()>& cancelled)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    if (suffix == "png") {
        PngStream png(file.stream(), rgb.width(), rgb.height(), recipe ? recipeChunks(*recipe) : TextChunks{},
                      kPngLevel, defaultThreadCount());
        constexpr int kBand = 1024;
        for (int y = 0; y < rgb.height() && !png.failed(); y += kBand) {
            if (cancelled && cancelled()) {
                *error = "cancelled";
                return false;
            }
            png.writeRows(rgb.copy(0, y, rgb.width(), std::min(kBand, rgb.height() - y)));
        }
        if (!png.finish()) {
            *error = "the picture could not be written (is the disk full?)";
            return false;
        }
        return true;
    }
    QFile device;
    if (!device.open(file.stream(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
        *error = device.errorString().toStdString();
        return false;
    }
    QImageWriter writer(&device, suffix);
    if (!writer.write(rgb)) {
        *error = writer.errorString().toStdString();
        return false;
    }
    return true;
}

bool writePicture(const QImage& image, const QString& path, const PictureRecipe* recipe, QString* error,
                  const std::function<bool()>& cancelled)
{
    std::string why;
    const bool ok = [&] {
        const QByteArray format = pictureFormat(path);
        if (format.isEmpty()) {
            why = "cannot write pictures as ." + QFileInfo(path).suffix().toStdString();
            return false;
        }
        OutputFile file(QFile::encodeName(path).toStdString());
        return file.open(&why) && writeImage(file, image, format, recipe, &why, cancelled) && file.commit(&why);
    }();
    if (!ok && error)
        *error = QString::fromStdString(why);
    return ok;
}

}  // namespace glimra
