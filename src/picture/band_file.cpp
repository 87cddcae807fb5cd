#include "picture/band_file.h"

#include <QCryptographicHash>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace glimra {
namespace {

constexpr std::size_t kMagicSize = sizeof kBandFileMagic - 1;
constexpr unsigned long long kBandTag = 1;
constexpr unsigned long long kEndTag = 2;

}  // namespace

// Inflating every piece is what shows that a band holds the picture's rows:
// its counts were checked when it was read, but its compressed bytes could
// still be anything that passes a checksum anyone can compute again.
bool bandDecodes(const CompressedBand& band, long width, std::vector<unsigned char>* above)
{
    const std::size_t rowBytes = 1 + 3 * std::size_t(width);
    std::vector<unsigned char> row(rowBytes), previous;
    if (above)
        previous = *above;
    std::size_t inRow = 0;
    unsigned long long total = 0;
    uLong adler = adler32(0, nullptr, 0);
    // A whole row: its filter must be ours ("up"), and undone it becomes the
    // row the next one is filtered against.
    auto takeRow = [&] {
        if (row[0] != 2)
            return false;
        if (above)
            for (std::size_t k = 1; k < rowBytes; ++k)
                previous[k - 1] = (unsigned char)(previous[k - 1] + row[k]);
        inRow = 0;
        return true;
    };
    for (const auto& piece : band.pieces) {
        z_stream z{};
        if (inflateInit2(&z, -15) != Z_OK)
            return false;
        z.next_in = const_cast<Bytef*>(piece.data());
        z.avail_in = uInt(piece.size());
        bool good = true;
        for (;;) {
            if (inRow == rowBytes && !(good = takeRow()))
                break;
            z.next_out = row.data() + inRow;
            z.avail_out = uInt(rowBytes - inRow);
            const int status = inflate(&z, Z_NO_FLUSH);
            const std::size_t got = rowBytes - inRow - z.avail_out;
            adler = adler32(adler, row.data() + inRow, uInt(got));
            inRow += got;
            total += got;
            // No final block inside a band: the picture's stream ends after
            // its last band, and nothing may inflate to more than it says.
            if (total > band.length || (status != Z_OK && status != Z_BUF_ERROR)) {
                good = false;
                break;
            }
            if (z.avail_out != 0)  // all input taken and nothing held back
                break;
        }
        if (good && inRow == rowBytes)
            good = takeRow();
        good = good && z.avail_in == 0 && inRow == 0;
        // Pieces follow one another in the picture's one stream: each must
        // end where the next can begin, after a whole block that is not the
        // last, on a byte boundary. Then the stream's own ending (a final
        // empty block, as the PNG stream writes it) ends it at once.
        if (good) {
            unsigned char ending[2] = {0x03, 0x00}, none = 0;
            z.next_in = ending;
            z.avail_in = 2;
            z.next_out = &none;
            z.avail_out = 1;
            good = inflate(&z, Z_FINISH) == Z_STREAM_END && z.avail_out == 1 && z.avail_in == 0;
        }
        inflateEnd(&z);
        if (!good)
            return false;
    }
    if (total != band.length || adler != band.adler)
        return false;
    if (above) {
        if (previous != band.lastRow)
            return false;
        *above = std::move(previous);
    }
    return true;
}

std::string partPath(const std::string& output, PartOf part)
{
    return output + ".part-" + std::to_string(part.k) + "-of-" + std::to_string(part.n);
}

std::string resumeFolder(const std::string& output) { return output + ".parts"; }

std::pair<long, long> partBands(long bands, PartOf part)
{
    return {long(bands * (part.k - 1) / part.n), long(bands * part.k / part.n)};
}

std::string bandKey(const TextChunks& chunks, long width, long height, long bandRows)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    auto add = [&](const std::string& s) {
        const std::string size = std::to_string(s.size()) + ":";
        hash.addData(QByteArrayView(size.data(), qsizetype(size.size())));
        hash.addData(QByteArrayView(s.data(), qsizetype(s.size())));
    };
    add(kBandFileMagic);
    for (const auto& [k, v] : chunks) {
        add(k);
        add(v);
    }
    add(std::to_string(width) + "x" + std::to_string(height) + "/" + std::to_string(bandRows) + "/" +
        std::to_string(kPngLevel));
    return hash.result().toHex().toStdString();
}

// ---------------------------------------------------------------------------

BandFileWriter::BandFileWriter(FILE* out, const BandHeader& h) : out_(out), crc_(crc32(0, nullptr, 0))
{
    put(kBandFileMagic, kMagicSize);
    putBytes(h.key.data(), h.key.size());
    putNumber(h.chunks.size());
    for (const auto& [k, v] : h.chunks) {
        putBytes(k.data(), k.size());
        putBytes(v.data(), v.size());
    }
    for (long v : {h.width, h.height, h.bandRows, h.first, h.end, long(h.part.k), long(h.part.n)})
        putNumber((unsigned long long)v);
}

bool BandFileWriter::put(const void* data, std::size_t size)
{
    if (failed_)
        return false;
    if (size && std::fwrite(data, 1, size, out_) != size) {
        error_ = errno ? errno : EIO;
        return !(failed_ = true);
    }
    crc_ = crc32_z(crc_, static_cast<const Bytef*>(data), size);
    return true;
}

bool BandFileWriter::putNumber(unsigned long long v)
{
    unsigned char b[8];
    for (int k = 0; k < 8; ++k)
        b[k] = (unsigned char)(v >> (8 * k));
    return put(b, 8);
}

bool BandFileWriter::putBytes(const void* data, std::size_t size) { return putNumber(size) && put(data, size); }

bool BandFileWriter::add(long index, const CompressedBand& band)
{
    putNumber(kBandTag);
    putNumber((unsigned long long)index);
    putNumber((unsigned long long)band.rows);
    putNumber(band.adler);
    putNumber(band.length);
    putBytes(band.lastRow.data(), band.lastRow.size());
    putNumber(band.pieces.size());
    for (const auto& piece : band.pieces)
        putBytes(piece.data(), piece.size());
    return !failed_;
}

bool BandFileWriter::finish(const PartFault& fault)
{
    putNumber(kEndTag);
    putNumber((unsigned long long)(fault.m + 1));
    putNumber((unsigned long long)(fault.n + 1));
    const unsigned long crc = crc_;
    const unsigned char b[4] = {(unsigned char)(crc >> 24), (unsigned char)(crc >> 16), (unsigned char)(crc >> 8),
                                (unsigned char)crc};
    if (!failed_ && std::fwrite(b, 1, 4, out_) != 4) {
        error_ = errno ? errno : EIO;
        failed_ = true;
    }
    if (!failed_ && std::fflush(out_) != 0) {
        error_ = errno ? errno : EIO;
        failed_ = true;
    }
    return !failed_;
}

// ---------------------------------------------------------------------------

BandFileReader::~BandFileReader()
{
    if (in_)
        std::fclose(in_);
}

bool BandFileReader::get(void* data, std::size_t size) { return std::fread(data, 1, size, in_) == size; }

bool BandFileReader::getNumber(unsigned long long* v)
{
    unsigned char b[8];
    if (!get(b, 8))
        return false;
    *v = 0;
    for (int k = 7; k >= 0; --k)
        *v = *v << 8 | b[k];
    return true;
}

bool BandFileReader::getBytes(std::string* out, unsigned long long most)
{
    unsigned long long size = 0;
    if (!getNumber(&size) || size > most || size > size_)
        return false;
    out->resize(std::size_t(size));
    return get(out->data(), out->size());
}

bool BandFileReader::open(const std::string& path, std::string* why)
{
    // A name this program makes is read only as a file of its own: a link is
    // not followed, and a pipe is refused before anything waits on it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        *why = error == ELOOP ? path + " is a link; a part or band is read only from a file"
                              : "cannot open " + path + ": " + std::strerror(error);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        *why = path + " is not a regular file";
        return false;
    }
    in_ = ::fdopen(fd, "rb");
    if (!in_) {
        ::close(fd);
        *why = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    size_ = (unsigned long long)st.st_size;
    if (size_ < kMagicSize + 4) {
        *why = path + " is no part of a picture (too short)";
        return false;
    }
    // The checksum first: nothing in a damaged file is believed.
    unsigned long crc = crc32(0, nullptr, 0);
    std::vector<unsigned char> buffer(std::size_t(std::min<unsigned long long>(size_, 1 << 20)));
    unsigned long long left = size_ - 4;
    while (left > 0) {
        const std::size_t n = std::size_t(std::min<unsigned long long>(left, buffer.size()));
        if (!get(buffer.data(), n)) {
            *why = "cannot read " + path;
            return false;
        }
        crc = crc32_z(crc, buffer.data(), n);
        left -= n;
    }
    unsigned char b[4];
    if (!get(b, 4)) {
        *why = "cannot read " + path;
        return false;
    }
    const unsigned long stored =
        (unsigned long)b[0] << 24 | (unsigned long)b[1] << 16 | (unsigned long)b[2] << 8 | b[3];
    std::rewind(in_);
    char magic[kMagicSize];
    if (!get(magic, kMagicSize) || std::memcmp(magic, kBandFileMagic, kMagicSize) != 0) {
        *why = path + " is no part of a picture of this program";
        return false;
    }
    if (stored != crc) {
        *why = path + " is damaged (its checksum does not match its content)";
        return false;
    }
    BandHeader& h = header_;
    unsigned long long chunks = 0;
    bool ok = getBytes(&h.key, 256) && getNumber(&chunks) && chunks <= 64;
    for (unsigned long long c = 0; ok && c < chunks; ++c) {
        std::string k, v;
        ok = getBytes(&k, 1 << 10) && getBytes(&v, 1 << 21);
        h.chunks.emplace_back(std::move(k), std::move(v));
    }
    unsigned long long v[7] = {};
    for (auto& n : v)
        ok = ok && getNumber(&n);
    // Every number is held to what a picture of this program can be before
    // any of it sizes anything: the key and the checksum are no proof, as
    // anyone can compute them.
    const unsigned long long bands = ok && v[2] >= 1 && v[2] <= v[1] ? (v[1] + v[2] - 1) / v[2] : 0;
    if (!ok || v[0] < 1 || v[0] > kMaxSide || v[1] < 1 || v[1] > kMaxSide || bands == 0 || v[3] > v[4] ||
        v[4] > bands || v[6] > 1u << 20 || v[5] > v[6]) {
        *why = path + " is damaged (its header cannot be read)";
        return false;
    }
    h.width = long(v[0]);
    h.height = long(v[1]);
    h.bandRows = long(v[2]);
    h.first = long(v[3]);
    h.end = long(v[4]);
    h.part = PartOf{int(v[5]), int(v[6])};
    nextBand_ = h.first;
    return true;
}

bool BandFileReader::next(long* index, CompressedBand& band, bool* end, std::string* why)
{
    *end = false;
    auto broken = [&] {
        *why = "a band in it cannot be read";
        return false;
    };
    unsigned long long tag = 0;
    if (!getNumber(&tag))
        return broken();
    if (tag == kEndTag) {
        // The fault's column and row, each one more, or two zeros for none:
        // a place in the picture or nothing.
        unsigned long long m = 0, n = 0;
        if (!getNumber(&m) || !getNumber(&n) || m > (unsigned long long)header_.width ||
            n > (unsigned long long)header_.height || (m == 0) != (n == 0))
            return broken();
        fault_ = PartFault{long(m) - 1, long(n) - 1};
        *end = true;
        return false;
    }
    unsigned long long i = 0, rows = 0, adler = 0, length = 0, pieces = 0;
    if (tag != kBandTag || !getNumber(&i) || !getNumber(&rows) || !getNumber(&adler) || !getNumber(&length))
        return broken();
    // A band holds exactly the rows its place in the picture gives it, each
    // as a filter byte and three bytes a pixel, in a piece per 64 rows or
    // part of them.
    const auto& h = header_;
    const unsigned long long width = (unsigned long long)h.width, bandRows = (unsigned long long)h.bandRows;
    if (i != (unsigned long long)nextBand_ || i >= (unsigned long long)h.end ||
        rows != std::min(bandRows, (unsigned long long)h.height - i * bandRows) || length != rows * (1 + 3 * width) ||
        adler > 0xffffffffu)
        return broken();
    std::string last;
    if (!getBytes(&last, 3ull * width) || last.size() != 3 * std::size_t(width) || !getNumber(&pieces) ||
        pieces > rows / 64 + 2)
        return broken();
    band = CompressedBand{};
    band.rows = long(rows);
    band.adler = (unsigned long)adler;
    band.length = length;
    band.lastRow.assign(last.begin(), last.end());
    for (unsigned long long p = 0; p < pieces; ++p) {
        std::string piece;
        if (!getBytes(&piece, size_))
            return broken();
        band.pieces.emplace_back(piece.begin(), piece.end());
    }
    *index = long(i);
    nextBand_ = long(i) + 1;
    return true;
}

}  // namespace glimra
