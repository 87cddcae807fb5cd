#include "picture/recipe.h"

#include "formula/formula.h"
#include "place/place.h"

#include "version.h"

#include <QFile>
#include <QFileInfo>

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string_view>
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
constexpr const char* kFormulaKey = "glimra-formula";

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
    // The formula's text is part of every key made from these chunks, so a
    // part, a kept band or a film frame of another formula is never taken.
    if (!recipe.formula.empty())
        chunks.emplace_back(kFormulaKey, recipe.formula);
    for (const ParameterName& p : kParameterNames)
        chunks.emplace_back(textKey(p), recipe.texts.*p.text);
    if (recipe.density != 1)
        chunks.emplace_back(kDensityKey, std::to_string(recipe.density));
    if (recipe.samples != 1)
        chunks.emplace_back(kSamplesKey, std::to_string(recipe.samples));
    // The same settings as one line, as the window copies and pastes them.
    // A formula longer than a place carries has no place line.
    if (!recipe.pattern.empty() && recipe.formula.size() <= kMaxPlaceFormula)
        chunks.emplace_back("glimra-place", formatPlace(Place{recipe.pattern, recipe.texts, recipe.formula}));
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
                return QStringLiteral(
                           "%1 is a picture of %2 x %3, larger than any this program writes (65536 "
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
                    .arg(path, keyName(chunk.key),
                         type == "tEXt" || length > data.size() ? QString() : QStringLiteral(" unpacked"));
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

// What a file that is not a regular one is, for a refusal.
const char* fileKind(mode_t mode)
{
    return S_ISDIR(mode)                    ? "a folder"
           : S_ISFIFO(mode)                 ? "a pipe"
           : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
           : S_ISSOCK(mode)                 ? "a socket"
                                            : "not a regular file";
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
        *why = QStringLiteral("%1 is %2, not a picture file").arg(path, QLatin1String(fileKind(st.st_mode)));
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
    const QString skipped =
        reader.problem.empty() ? QString() : QStringLiteral(" (%1)").arg(QString::fromLatin1(reader.problem.c_str()));

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
    if (auto f = value(kFormulaKey)) {
        if (recipe.pattern != kFormulaName)
            return fail(QStringLiteral("%1 names the pattern %2 and carries a formula as well")
                            .arg(path, QString::fromStdString(recipe.pattern.substr(0, 40))));
        if (const std::string problem = formulaTextProblem(*f); !problem.empty())
            return fail(QStringLiteral("%1: its formula %2").arg(path, QString::fromStdString(problem)));
        recipe.formula = std::move(*f);
    } else if (recipe.pattern == kFormulaName) {
        return fail(QStringLiteral("%1 names a formula and carries none%2").arg(path, skipped));
    }
    return recipe;
}

std::string formulaTextProblem(std::string_view text)
{
    if (text.size() > formula::kMaxBytes)
        return "is longer than a formula may be (" + std::to_string(formula::kMaxBytes) + " bytes)";
    if (text.empty())
        return "is empty";
    const QByteArray bytes(text.data(), qsizetype(text.size()));
    const QString decoded = QString::fromUtf8(bytes);
    if (decoded.toUtf8() != bytes)
        return "is not UTF-8 text";
    for (const unsigned char c : text)
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7f)
            return "holds a control character";
    return {};
}

std::optional<std::string> readFormulaFile(const QString& path, QString* error)
{
    auto fail = [&](const QString& why) -> std::optional<std::string> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const bool standardInput = path == QStringLiteral("-");
    const QString shown = standardInput ? QStringLiteral("standard input") : path;
    const QByteArray name = QFile::encodeName(path);
    struct stat before {};
    if (!standardInput) {
        if (::stat(name.constData(), &before) != 0)
            return fail(QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        if (!S_ISREG(before.st_mode))
            return fail(
                QStringLiteral("%1 is %2, not a formula file").arg(path, QLatin1String(fileKind(before.st_mode))));
    }
    // Opened without waiting, and checked again: it may have been swapped
    // for something else since it was looked at.
    const int fd =
        standardInput ? STDIN_FILENO : ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    struct stat st {};
    if (!standardInput &&
        (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != before.st_dev || st.st_ino != before.st_ino)) {
        ::close(fd);
        return fail(QStringLiteral("%1 changed while it was opened; not read").arg(path));
    }
    if (!standardInput)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::string text;
    char buffer[16384];
    // One byte past the longest formula is enough to refuse it.
    while (text.size() <= formula::kMaxBytes) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int e = errno;
            if (!standardInput)
                ::close(fd);
            return fail(QStringLiteral("cannot read %1: %2").arg(shown, QString::fromLocal8Bit(std::strerror(e))));
        }
        if (got == 0)
            break;
        text.append(buffer, std::size_t(got));
    }
    if (!standardInput)
        ::close(fd);
    if (const std::string problem = formulaTextProblem(text); !problem.empty())
        return fail(QStringLiteral("%1 %2").arg(shown, QString::fromStdString(problem)));
    return text;
}

}  // namespace glimra
