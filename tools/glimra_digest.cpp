// glimra-digest: the golden pictures' digests from the render core alone (no
// Qt), so that a build for another processor, or with another C library, can
// be compared with this one line for line. One line per picture:
//
//   PATTERN SET OUTCOME FAULT_COLUMN FAULT_ROW SHA256
//
//   glimra-digest [--threads N] [--sets reset,L,offset,fault,M,formula]
//
// The sets and the bytes hashed are test_golden's, so on this machine every
// digest equals the one recorded there (a test checks that).
#include "patterns/patterns.h"
#include "render/frame.h"
#include "render/sha256.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace glimra;

// Each value is hashed as the little-endian bytes of its fixed width: exactly
// the memory test_golden hashes on the 64-bit little-endian processors it
// runs on (long is 8 bytes, int 4), and the same bytes on any processor.
class DigestHost : public RenderHost {
public:
    void plotColumn(const ColumnView& c) override
    {
        add64(c.index);
        add32(std::uint32_t(c.x));
        add64(std::int64_t(c.colours.size()));
        for (std::size_t m = 0; m < c.colours.size(); ++m) {
            add32(std::uint32_t(c.ys[m]));
            add32(c.colours[m]);
        }
    }

    std::string finish(const RenderResult& r)
    {
        add32(std::uint32_t(int(r.outcome)));
        add64(r.columns);
        add64(r.rows);
        add64(r.faultColumn);
        add64(r.faultRow);
        return Sha256::hex(sha_.finish());
    }

private:
    void add32(std::uint32_t v)
    {
        std::uint8_t b[4];
        for (int k = 0; k < 4; ++k)
            b[k] = std::uint8_t(v >> (8 * k));
        sha_.add(b, sizeof b);
    }
    void add64(std::int64_t value)
    {
        const auto v = std::uint64_t(value);
        std::uint8_t b[8];
        for (int k = 0; k < 8; ++k)
            b[k] = std::uint8_t(v >> (8 * k));
        sha_.add(b, sizeof b);
    }

    Sha256 sha_;
};

struct Set {
    const char* name;
    PatternParameters p;  // x, y, size, zoom, bright; the fault set takes each pattern's brightness
};

const Set kSets[] = {
    {"reset", {1, 1, 100, 1, 150}},
    {"L", {1, 1, 768, 0.15, 150}},
    {"offset", {37.5, -12.25, 64.5, 0.6, 90}},
    {"fault", {1, 1, 100, 1, 0}},
    {"M", {150, 200, 600, 0.2, 150}},
    // Not a picture: the formula's unrounded components at every pixel of
    // the reset and offset sets.
    {"formula", {}},
};

// The bits of the three components of the pattern's formula at every pixel
// of the reset and offset sets, column by column, as test_golden hashes them.
std::string formulaDigest(const Pattern& p)
{
    Sha256 sha;
    for (const Set* s : {&kSets[0], &kSets[2]}) {
        const Derived d = p.derive(s->p);
        const std::vector<double> rows = scanCounters(d.y0, d.S, 1 << 20);
        for (double i : scanCounters(d.x0, d.N, 1 << 24))
            for (double j : rows) {
                const Components c = p.pixel(d, i, j);
                for (double v : {c.red, c.green, c.blue}) {
                    std::uint64_t bits;
                    std::memcpy(&bits, &v, sizeof bits);
                    std::uint8_t b[8];
                    for (int k = 0; k < 8; ++k)
                        b[k] = std::uint8_t(bits >> (8 * k));
                    sha.add(b, sizeof b);
                }
            }
    }
    return Sha256::hex(sha.finish());
}

// The brightness at which each pattern's reset picture overflows after some
// columns, in table order.
const double kFaultBrightness[kPatternCount] = {
    1e305, 1e305, 1e306, 1e306, 1e306, 1e306, 1e305, 1e305, 1e306, 1e305,
    1e305, 1e305, 1e305, 1e306, 1e305, 1e305, 1e306, 1e305, 1e306,
};

const char* outcomeName(Outcome o)
{
    switch (o) {
    case Outcome::Completed: return "Completed";
    case Outcome::Halted: return "Halted";
    case Outcome::Faulted: return "Faulted";
    case Outcome::Refused: return "Refused";
    }
    return "?";
}

int usage(const char* why)
{
    if (why)
        std::fprintf(stderr, "glimra-digest: %s\n", why);
    std::fprintf(stderr,
                 "usage: glimra-digest [--threads N] [--sets reset,L,offset,fault,M,formula]\n"
                 "  --threads N   threads, 1 to 256, or 0 for one per core (default 1); any count\n"
                 "                gives the same digests\n"
                 "  --sets LIST   the parameter sets, comma-separated, in the order printed per\n"
                 "                pattern (default all six)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int threads = 1;
    std::vector<const Set*> sets;
    for (const Set& s : kSets)
        sets.push_back(&s);

    for (int a = 1; a < argc; ++a) {
        const std::string_view arg = argv[a];
        if (arg == "--help" || arg == "-h") {
            usage(nullptr);
            return 0;
        }
        if (a + 1 >= argc || (arg != "--threads" && arg != "--sets"))
            return usage(("unknown option or missing value: " + std::string(arg)).c_str());
        const std::string_view value = argv[++a];
        if (arg == "--threads") {
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), threads);
            if (ec != std::errc() || end != value.data() + value.size() || threads < 0 || threads > 256)
                return usage("--threads takes a whole number from 0 to 256");
        } else {
            sets.clear();
            std::size_t from = 0;
            while (from <= value.size()) {
                std::size_t to = value.find(',', from);
                if (to == std::string_view::npos)
                    to = value.size();
                const std::string_view name = value.substr(from, to - from);
                const Set* found = nullptr;
                for (const Set& s : kSets)
                    if (name == s.name)
                        found = &s;
                if (!found)
                    return usage(("unknown set '" + std::string(name) + "' (reset, L, offset, fault, M, formula)").c_str());
                sets.push_back(found);
                from = to + 1;
            }
        }
    }

    // The width the scans take, on standard error so that the lines stay
    // comparable: a run that was to force a narrower path can check it did.
    std::fprintf(stderr, "lanes %d\n", widestLanes());
    const auto table = patternTable();
    for (std::size_t k = 0; k < table.size(); ++k) {
        for (const Set* s : sets) {
            if (std::strcmp(s->name, "formula") == 0) {
                std::printf("%s formula - - - %s\n", table[k]->name, formulaDigest(*table[k]).c_str());
                continue;
            }
            PatternParameters p = s->p;
            if (std::strcmp(s->name, "fault") == 0)
                p.bright = kFaultBrightness[k];
            DigestHost host;
            const RenderResult r = render(*table[k], p, host, RenderOptions{threads});
            const std::string digest = host.finish(r);
            std::printf("%s %s %s %ld %ld %s\n", table[k]->name, s->name, outcomeName(r.outcome), r.faultColumn,
                        r.faultRow, digest.c_str());
        }
    }
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
