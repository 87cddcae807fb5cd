#include "picture/picture_file.h"

#include "render/parallel.h"
#include "place/place.h"

#include "version.h"

#include <QFile>
#include <QFileInfo>
#include <QImageWriter>

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <csetjmp>
#include <string_view>
#include <system_error>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <dirent.h>
#include <signal.h>
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

}  // namespace

std::string writeFailure(int error)
{
    if (error == EPIPE)
        return "the program reading it went away";
    if (error == 0)
        return "the picture could not be compressed";
    return std::strerror(error);
}

namespace {

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

// What reading a picture's settings may hold, whatever the file: a setting is
// at most 1 MiB (a box holds 32767 characters, under 100 KiB of UTF-8, and a
// command-line argument at most 128 KiB), all text chunks together at most
// 2 MiB once unpacked, and no chunk before the picture data is read that is
// larger than 16 MiB. Reading a file therefore holds a few MiB at most.
constexpr std::uint32_t kMaxSettingBytes = 1u << 20;
constexpr std::uint32_t kTextChunkSlack = 64u << 10;  // keyword and language tags besides the text
constexpr std::uint64_t kMaxTextBytes = 2u << 20;
constexpr int kMaxTextChunks = 32;
constexpr std::uint32_t kMaxChunkBytes = 16u << 20;
constexpr std::uint32_t kLargestSide = 65536;  // no picture of ours is larger

struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::string problem;  // libpng's first error or warning
    ~PngReader()
    {
        if (png)
            png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

void note(png_structp png, png_const_charp message)
{
    auto* reader = static_cast<PngReader*>(png_get_error_ptr(png));
    if (reader && reader->problem.empty() && message)
        reader->problem = message;
}
// Only a warning about a text chunk (libpng names the chunk first) can
// explain a missing setting; one about a skipped chunk cannot.
void quietWarning(png_structp png, png_const_charp message)
{
    const std::string_view m = message ? message : "";
    if (m.rfind("tEXt:", 0) == 0 || m.rfind("zTXt:", 0) == 0 || m.rfind("iTXt:", 0) == 0)
        note(png, message);
}
// Errors are reported by what the caller returns, not printed by the library.
[[noreturn]] void quietError(png_structp png, png_const_charp message)
{
    note(png, message);
    png_longjmp(png, 1);
}

// Reads every text chunk before the picture data, within the limits above,
// and no other chunk; false when the file is not a PNG or is broken before its
// data. No C++ object lives across the jump.
bool readTextChunks(FILE* file, PngReader& reader, png_textp* text, int* count)
{
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, quietError, quietWarning);
    if (!reader.png)
        return false;
    reader.info = png_create_info_struct(reader.png);
    if (!reader.info)
        return false;
    if (setjmp(png_jmpbuf(reader.png)))
        return false;
    png_set_user_limits(reader.png, kLargestSide, kLargestSide);
    png_set_chunk_malloc_max(reader.png, kMaxSettingBytes + kTextChunkSlack);
    // Two more than the chunks it keeps, as libpng counts.
    png_set_chunk_cache_max(reader.png, kMaxTextChunks + 2);
    // Nothing but the text is kept: every other ancillary chunk is skipped.
    png_set_keep_unknown_chunks(reader.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    static const png_byte kText[] = "tEXt\0zTXt\0iTXt";
    png_set_keep_unknown_chunks(reader.png, PNG_HANDLE_CHUNK_AS_DEFAULT, kText, 3);
    png_init_io(reader.png, file);
    png_read_info(reader.png, reader.info);
    *count = png_get_text(reader.png, reader.info, text, nullptr);
    return true;
}

std::uint32_t bigEndian(const unsigned char* b)
{
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | std::uint32_t(b[3]);
}

// How many bytes zlib data unpacks to, counted up to just past `most`; -1
// when the data is broken (libpng then says how).
long long unpackedSize(const unsigned char* data, std::size_t size, std::uint64_t most)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return -1;
    unsigned char out[16384];
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = uInt(size);
    std::uint64_t total = 0;
    int status = Z_OK;
    while (status == Z_OK && total <= most) {
        z.next_out = out;
        z.avail_out = sizeof out;
        status = inflate(&z, Z_NO_FLUSH);
        total += sizeof out - z.avail_out;
        if (status == Z_BUF_ERROR || (status == Z_OK && z.avail_in == 0 && z.avail_out != 0))
            break;  // cut short
    }
    inflateEnd(&z);
    return status == Z_STREAM_END || total > most ? (long long)total : -1;
}

// One text chunk before the picture data: its keyword and the size of its
// text once unpacked (-1 when libpng will find it broken).
struct TextChunk {
    std::string key;
    long long textBytes = -1;
};

TextChunk inspectText(const std::string& type, const std::vector<unsigned char>& data)
{
    TextChunk chunk;
    if (data.empty())
        return chunk;
    const auto* begin = data.data();
    const auto* end = begin + data.size();
    const auto* keyEnd = begin + std::min<std::size_t>(data.size(), 80);  // 79 characters and a zero at most
    const auto* nul = std::find(begin, keyEnd, 0);
    chunk.key.assign(begin, nul);
    if (nul == keyEnd)
        return chunk;
    const unsigned char* rest = nul + 1;
    if (type == "tEXt") {
        chunk.textBytes = end - rest;
    } else if (type == "zTXt") {
        if (rest < end)
            chunk.textBytes = unpackedSize(rest + 1, std::size_t(end - rest - 1), kMaxSettingBytes);
    } else if (end - rest >= 2) {  // iTXt: flag, method, language, translated keyword, text
        const bool packed = rest[0] != 0;
        const unsigned char* language = rest + 2;
        const unsigned char* translated = std::find(language, end, 0);
        const unsigned char* text = translated < end ? std::find(translated + 1, end, 0) : end;
        if (text < end) {
            ++text;
            chunk.textBytes = packed ? unpackedSize(text, std::size_t(end - text), kMaxSettingBytes) : end - text;
        }
    }
    return chunk;
}

QString keyName(const std::string& key)
{
    const QString name = QString::fromLatin1(key.data(), qsizetype(key.size()));
    return key.rfind("glimra-", 0) == 0 ? QStringLiteral("the setting %1").arg(name)
                                         : QStringLiteral("the text chunk \u201c%1\u201d").arg(name);
}

// Walks the chunks before the picture data, holding at most one text chunk,
// and says what in them is beyond the reader's limits or cut short; nothing
// when libpng may read them.
std::optional<QString> checkChunks(FILE* file, std::uint64_t fileSize, const QString& path)
{
    std::uint64_t at = 8;
    int textChunks = 0;
    std::uint64_t textBytes = 0;
    for (bool first = true;; first = false) {
        unsigned char head[8];
        if (::fseeko(file, off_t(at), SEEK_SET) != 0 || std::fread(head, 1, 8, file) != 8)
            return QStringLiteral("%1 is a damaged PNG picture: it ends before its picture data").arg(path);
        const std::uint32_t length = bigEndian(head);
        const std::string type(reinterpret_cast<const char*>(head + 4), 4);
        if (length > 0x7fffffffu || at + 12 + length > fileSize)
            return QStringLiteral("%1 is a damaged PNG picture: a chunk of %2 bytes runs past the end of the file")
                .arg(path)
                .arg(length);
        if (type == "IDAT" || type == "IEND")
            return std::nullopt;
        if (first && type == "IHDR" && length == 13) {
            unsigned char size[8];
            if (std::fread(size, 1, 8, file) != 8)
                return QStringLiteral("%1 is a damaged PNG picture").arg(path);
            const std::uint32_t width = bigEndian(size), height = bigEndian(size + 4);
            if (width > kLargestSide || height > kLargestSide)
                return QStringLiteral("%1 is a picture of %2 x %3, larger than any this program writes (65536 "
                                      "on a side)")
                    .arg(path)
                    .arg(width)
                    .arg(height);
        }
        if (type == "tEXt" || type == "zTXt" || type == "iTXt") {
            if (++textChunks > kMaxTextChunks)
                return QStringLiteral("%1 has more than %2 text chunks").arg(path).arg(kMaxTextChunks);
            std::vector<unsigned char> data(std::min<std::uint32_t>(length, kMaxSettingBytes + kTextChunkSlack));
            if (std::fread(data.data(), 1, data.size(), file) != data.size())
                return QStringLiteral("%1 is a damaged PNG picture").arg(path);
            const TextChunk chunk = inspectText(type, data);
            if (length > data.size() || chunk.textBytes > (long long)kMaxSettingBytes)
                return QStringLiteral("%1: %2 is too long (more than 1 MiB%3)")
                    .arg(path, keyName(chunk.key), type == "tEXt" || length > data.size() ? QString()
                                                                                         : QStringLiteral(" unpacked"));
            textBytes += std::uint64_t(std::max(0LL, chunk.textBytes));
            if (textBytes > kMaxTextBytes)
                return QStringLiteral("%1 holds more than 2 MiB of text").arg(path);
        } else if (length > kMaxChunkBytes) {
            return QStringLiteral("%1 has a chunk of %2 bytes before its picture data, more than this program reads")
                .arg(path)
                .arg(length);
        }
        at += 12 + std::uint64_t(length);
    }
}

// Opens a file for reading without waiting: a pipe or a device is refused as
// it is, not stat-ed first and opened after (when it may be something else).
FILE* openRegularFile(const QString& path, std::uint64_t* size, QString* why)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *why = QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const char* what = S_ISDIR(st.st_mode)                        ? "a folder"
                           : S_ISFIFO(st.st_mode)                     ? "a pipe"
                           : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                           : S_ISSOCK(st.st_mode)                     ? "a socket"
                                                                      : "not a regular file";
        *why = QStringLiteral("%1 is %2, not a picture file").arg(path, QLatin1String(what));
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        *why = QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return nullptr;
    }
    *size = std::uint64_t(st.st_size);
    return file;
}

}  // namespace

std::optional<PictureRecipe> readRecipe(const QString& path, QString* error)
{
    auto fail = [&](const QString& why) -> std::optional<PictureRecipe> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QString why;
    std::uint64_t size = 0;
    std::unique_ptr<FILE, int (*)(FILE*)> file(openRegularFile(path, &size, &why), std::fclose);
    if (!file)
        return fail(why);
    unsigned char signature[8] = {};
    if (std::fread(signature, 1, 8, file.get()) != 8 || png_sig_cmp(signature, 0, 8) != 0)
        return fail(QStringLiteral("%1 is not a PNG picture").arg(path));
    if (const auto problem = checkChunks(file.get(), size, path))
        return fail(*problem);
    std::rewind(file.get());

    PngReader reader;
    png_textp text = nullptr;
    int count = 0;
    if (!readTextChunks(file.get(), reader, &text, &count))
        return fail(reader.problem.empty() ? QStringLiteral("%1 is a damaged PNG picture").arg(path)
                                           : QStringLiteral("%1 is a damaged PNG picture (%2)")
                                                 .arg(path, QString::fromLatin1(reader.problem.c_str())));
    // A text chunk libpng had to skip (a bad checksum, say) is why a setting
    // may be missing.
    const QString skipped = reader.problem.empty()
                                ? QString()
                                : QStringLiteral(" (%1)").arg(QString::fromLatin1(reader.problem.c_str()));

    auto value = [&](const char* key) -> std::optional<std::string> {
        // The last of repeated chunks wins, as it would for any reader that
        // fills a table in file order.
        for (int k = count - 1; k >= 0; --k) {
            if (text[k].key && std::strcmp(text[k].key, key) == 0) {
                const std::size_t length = text[k].compression > 0 ? text[k].itxt_length : text[k].text_length;
                return std::string(text[k].text ? text[k].text : "", text[k].text ? length : 0);
            }
        }
        return std::nullopt;
    };

    const std::optional<std::string> pattern = value(kPatternKey);
    if (!pattern)
        return fail(QStringLiteral("%1 holds no Color Glimra picture settings%2").arg(path, skipped));
    PictureRecipe recipe;
    recipe.pattern = *pattern;
    for (const ParameterName& p : kParameterNames) {
        const std::string key = textKey(p);
        std::optional<std::string> t = value(key.c_str());
        if (!t)
            return fail(QStringLiteral("%1 lacks the setting %2%3").arg(path, QString::fromStdString(key), skipped));
        recipe.texts.*p.text = std::move(*t);
    }
    if (const auto d = value(kDensityKey)) {
        const auto v = smallWholeNumber(*d, kMaxDensity);
        if (!v)
            return fail(QStringLiteral("%1 has a broken density setting").arg(path));
        recipe.density = *v;
    }
    if (const auto s = value(kSamplesKey)) {
        const auto v = smallWholeNumber(*s, kMaxSamples);
        if (!v)
            return fail(QStringLiteral("%1 has a broken samples setting").arg(path));
        recipe.samples = *v;
    }
    return recipe;
}

// ---------------------------------------------------------------------------
// OutputFile

namespace {

// A temporary file is named after its target and the process writing it:
// .NAME.glimra-PID-XXXXXX beside NAME.
std::string temporaryPrefix(const std::string& name) { return "." + name + ".glimra-"; }

// Temporary files of earlier writes to the same target whose process is gone
// (killed, or the machine stopped): only names of exactly that pattern, only
// regular files of ours, only processes that no longer exist.
void removeLeftovers(const std::string& folder, const std::string& name)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const std::string prefix = temporaryPrefix(name);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view entryName(entry->d_name);
        if (entryName.size() <= prefix.size() || entryName.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::string_view rest = entryName.substr(prefix.size());
        const std::size_t dash = rest.find('-');
        if (dash == 0 || dash > 9 || dash == std::string_view::npos || rest.size() != dash + 7)
            continue;
        const std::string_view digits = rest.substr(0, dash), random = rest.substr(dash + 1);
        if (digits[0] == '0' || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
            !std::all_of(random.begin(), random.end(), [](char c) { return std::isalnum((unsigned char)c); }))
            continue;
        const pid_t pid = pid_t(std::stol(std::string(digits)));
        if (pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid())
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// The mode a finished picture gets. A new one the usual mode; one that
// replaces a file keeps that file's read and write bits, never its set-id,
// sticky or execute bits (a picture is no program), and its group bits only
// when the new file has the old one's group.
mode_t pictureMode(const std::string& target, int fd)
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t usual = 0666 & ~mask;
    struct stat old {}, fresh {};
    if (::stat(target.c_str(), &old) != 0)
        return usual;
    mode_t mode = old.st_mode & 0666;
    if (::fstat(fd, &fresh) != 0 || fresh.st_gid != old.st_gid)
        mode &= ~(070 & ~usual);
    return mode;
}

}  // namespace

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
    const std::string folder = realInfo.absolutePath().toStdString();
    const std::string name = realInfo.fileName().toStdString();
    removeLeftovers(folder, name);
    std::string pattern = folder + "/" + temporaryPrefix(name) + std::to_string(::getpid()) + "-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        *error = systemError("cannot write " + path_, errno);
        return false;
    }
    temporary_ = pattern;
    real_ = real;
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
    if (ok && !direct_)
        ::fchmod(::fileno(f), pictureMode(real_, ::fileno(f)));
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && !direct_ && ::rename(temporary_.c_str(), real_.c_str()) != 0) {
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
    bool started = false;                // the zlib header is out
    long rows = 0;                       // rows written so far
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

// `above` is the row before row `first`, for the first piece; a later piece
// takes the row above it from `rows` itself.
void compressRows(const QImage& rows, int from, int to, const png_byte* above, int first, int level, Piece& piece)
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

std::string PngStream::failure() const { return writeFailure(state_->target.error); }

bool PngStream::writeData(const unsigned char* data, std::size_t size)
{
    failed_ = failed_ || !guarded(state_->png, [&] {
        png_write_chunk(state_->png, reinterpret_cast<png_const_bytep>("IDAT"), data, size);
    });
    return !failed_;
}

bool PngStream::writeRows(const QImage& rows)
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

std::vector<unsigned char> rgbRow(const QImage& image, int y)
{
    std::vector<unsigned char> row(std::size_t(image.width()) * 3);
    rgbBytes(image, y, row.data());
    return row;
}

bool compressBand(const QImage& image, int from, const unsigned char* above, long pictureTop, int level,
                  int threads, CompressedBand& out)
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
            *error = png.failure();
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
    errno = 0;
    const bool written = writer.write(rgb) && device.flush();
    if (!written) {
        // The writer knows only that its device failed; the device knows why.
        const int why = errno;
        if (device.error() != QFileDevice::NoError)
            *error = device.errorString().toStdString();
        else if (std::ferror(file.stream()) && why != 0)
            *error = writeFailure(why);
        else
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
