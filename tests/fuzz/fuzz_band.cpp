// libFuzzer target for band files: any bytes, their checksum sealed again
// (anyone can compute it, so it proves nothing and must not be what stops a
// hostile part), read band by band and joined as `--join` joins them.
//
// Besides crashes and sanitizer reports (and, run with -malloc_limit_mb, any
// allocation beyond what the part's own size justifies) it stops on a broken
// promise:
// - a refused join says why and leaves no picture;
// - a joined picture is a PNG that decodes whole, at the size the join
//   reported, whatever the part said about itself.
#include "picture/band_file.h"
#include "picture/join.h"

#include <zlib.h>

#include <QImage>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// A folder of its own for the part and the picture: part files are read
// only as files, never through a link such as /proc/self/fd.
struct Folder {
    std::string path;
    Folder()
    {
        char name[] = "/tmp/glimra-fuzz-band-XXXXXX";
        if (!::mkdtemp(name))
            fail("no folder");
        path = name;
    }
    ~Folder() { ::rmdir(path.c_str()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Folder folder;
    const std::string output = folder.path + "/poster.png";
    const std::string part = glimra::partPath(output, glimra::PartOf{1, 1});
    std::vector<unsigned char> bytes(data, data + size);
    if (size >= 4) {
        const unsigned long crc = crc32_z(crc32(0, nullptr, 0), bytes.data(), size - 4);
        for (int k = 0; k < 4; ++k)
            bytes[size - 4 + k] = (unsigned char)(crc >> (24 - 8 * k));
    }
    {
        const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0 || ::write(fd, bytes.data(), size) != ssize_t(size))
            fail("cannot write the input");
        ::close(fd);
    }

    // Band by band, as a resumed render takes kept bands. Only a part whose
    // every band decodes goes on to a join, which writes and syncs a file:
    // the rest would only slow the search down.
    bool whole = false;
    glimra::BandFileReader reader;
    std::string problem;
    if (reader.open(part, &problem)) {
        const glimra::BandHeader& h = reader.header();
        if (h.width < 1 || h.width > glimra::kMaxSide || h.height < 1 || h.height > glimra::kMaxSide ||
            h.bandRows < 1 || h.bandRows > h.height)
            fail("a header beyond any picture was taken");
        std::vector<unsigned char> above(3 * std::size_t(h.width), 0);
        long index = 0, rows = 0;
        bool end = false;
        glimra::CompressedBand band;
        whole = true;
        while (reader.next(&index, band, &end, &problem)) {
            rows += band.rows;
            if (index < h.first || index >= h.end || rows > h.height)
                fail("a band beyond its part was taken");
            whole = glimra::bandDecodes(band, h.width, &above) && whole;
        }
        if (!end && problem.empty())
            fail("a band refused without a reason");
        whole = whole && end && !reader.fault().found();
    } else if (problem.empty()) {
        fail("a part refused without a reason");
    }
    if (!whole) {
        ::unlink(part.c_str());
        return 0;
    }
    std::string why;
    long width = 0, height = 0;
    int parts = 0;
    const bool joined = glimra::joinParts(output, {}, &why, &width, &height, &parts);
    ::unlink(part.c_str());
    if (!joined) {
        if (why.empty())
            fail("refused without a reason");
        if (::access(output.c_str(), F_OK) == 0)
            fail("a refused join left a picture");
        return 0;
    }
    const QImage picture(QString::fromStdString(output), "PNG");
    ::unlink(output.c_str());
    if (picture.isNull() || picture.width() != width || picture.height() != height)
        fail("the joined picture is not a PNG of the size the join reported");
    return 0;
}
