#include "picture/join.h"

#include "picture/band_file.h"
#include "picture/output_file.h"

#include <filesystem>
#include <set>
#include <unistd.h>

namespace glimra {

bool joinParts(const std::string& output, const std::function<bool()>& stop, std::string* why, long* width,
               long* height, int* parts)
{
    namespace fs = std::filesystem;
    const fs::path target(output);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string prefix = target.filename().string() + ".part-";
    std::set<int> splits;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0)
            continue;
        int k = 0, n = 0;
        char rest = 0;
        if (std::sscanf(name.c_str() + prefix.size(), "%d-of-%d%c", &k, &n, &rest) == 2 && n >= 1 && k >= 1 && k <= n)
            splits.insert(n);
    }
    if (error) {
        *why = "cannot read the folder " + folder.string() + ": " + error.message();
        return false;
    }
    if (splits.empty()) {
        *why = "no parts of " + output + " found (" + output + ".part-K-of-N)";
        return false;
    }
    if (splits.size() > 1) {
        *why = "parts of " + output + " from splits into " + std::to_string(*splits.begin()) + " and " +
               std::to_string(*splits.rbegin()) + " parts lie side by side; remove those of the other split";
        return false;
    }
    const int n = *splits.begin();
    *parts = n;

    // Every part is checked whole before the picture is begun.
    // The whole picture is decoded on the way, each band against the row
    // above it, so what is joined is a PNG of the parts' size and nothing else.
    BandHeader first;
    long bands = 0;
    std::vector<unsigned char> above;
    for (int k = 1; k <= n; ++k) {
        const std::string path = partPath(output, PartOf{k, n});
        if (::access(path.c_str(), F_OK) != 0) {
            *why = "part " + std::to_string(k) + " of " + std::to_string(n) + " is missing: " + path;
            return false;
        }
        BandFileReader reader;
        std::string problem;
        if (!reader.open(path, &problem)) {
            *why = problem;
            return false;
        }
        const BandHeader& h = reader.header();
        if (k == 1) {
            first = h;
            bands = (h.height + h.bandRows - 1) / h.bandRows;
            above.assign(3 * std::size_t(h.width), 0);
        }
        const auto [from, to] = partBands(bands, PartOf{k, n});
        if (h.key != first.key || h.key != bandKey(h.chunks, h.width, h.height, h.bandRows)) {
            *why = path + " is a part of another picture than " + partPath(output, PartOf{1, n}) +
                   " (another recipe, size or band height)";
            return false;
        }
        if (h.part.k != k || h.part.n != n || h.first != from || h.end != to) {
            *why = path + " holds other bands than its name says (renamed from another part?)";
            return false;
        }
        long expect = from;
        for (;;) {
            long index = 0;
            bool end = false;
            CompressedBand band;
            if (!reader.next(&index, band, &end, &problem)) {
                if (!end) {
                    *why = path + " is damaged: " + problem;
                    return false;
                }
                break;
            }
            if (index != expect++) {
                *why = path + " is damaged: its bands are out of order";
                return false;
            }
            if (stop && stop()) {
                *why = "stopped";
                return false;
            }
            if (!bandDecodes(band, h.width, &above)) {
                *why = path + " is damaged: band " + std::to_string(index) + " does not hold the rows it says";
                return false;
            }
        }
        if (reader.fault().found()) {
            *why = path + " met an arithmetic fault at column " + std::to_string(reader.fault().m + 1) + ", row " +
                   std::to_string(reader.fault().n + 1) +
                   "; a fault ends the whole scan, which reaches into other parts' bands, so this picture is "
                   "rendered in one piece (without --part)";
            return false;
        }
        if (expect != to) {
            *why = path + " is incomplete: it holds bands " + std::to_string(from) + " to " +
                   std::to_string(expect - 1) + " of " + std::to_string(from) + " to " + std::to_string(to - 1);
            return false;
        }
    }

    OutputFile file(output);
    if (!file.open(why))
        return false;
    PngStream png(file.stream(), int(first.width), int(first.height), first.chunks, kPngLevel, 1);
    for (int k = 1; k <= n && !png.failed(); ++k) {
        const std::string path = partPath(output, PartOf{k, n});
        BandFileReader reader;
        std::string problem;
        if (!reader.open(path, &problem)) {
            *why = problem;
            return false;
        }
        long index = 0;
        bool end = false;
        CompressedBand band;
        while (reader.next(&index, band, &end, &problem)) {
            if (stop && stop()) {
                *why = "stopped";
                return false;
            }
            png.writeBand(band);
        }
        if (!end) {
            *why = path + " is damaged: " + problem;
            return false;
        }
    }
    if (!png.finish()) {
        *why = "cannot write " + output + ": " + png.failure();
        return false;
    }
    if (png.rowsWritten() != first.height) {
        *why = "the parts of " + output + " do not make the whole picture";
        return false;
    }
    *width = first.width;
    *height = first.height;
    return file.commit(why);
}

}  // namespace glimra
