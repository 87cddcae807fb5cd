#include "render/digest.h"

#include <bit>
#include <vector>

namespace glimra::digest {
namespace {

struct FaultBrightness {
    std::string_view pattern;
    double bright;
};

// The brightness at which each pattern's reset picture overflows after some
// columns.
constexpr FaultBrightness kFaultBrightness[] = {
    {"aries", 1e305},  {"blood", 1e305}, {"celt", 1e306},   {"dune", 1e306}, {"eeee", 1e306},
    {"fun", 1e306},    {"grin", 1e305},  {"hix", 1e305},    {"ice", 1e306},  {"joke", 1e305},
    {"kraken", 1e305}, {"limbo", 1e305}, {"numb", 1e305},   {"ooh", 1e306},  {"Punk", 1e305},
    {"qwin", 1e305},   {"rumba", 1e306}, {"sizZle", 1e305}, {"Tame", 1e306},
};

void addLittleEndian(Sha256& sha, std::uint64_t v, int bytes)
{
    std::uint8_t b[8];
    for (int k = 0; k < bytes; ++k)
        b[k] = std::uint8_t(v >> (8 * k));
    sha.add(b, std::size_t(bytes));
}

}  // namespace

std::optional<Set> faultSet(std::string_view pattern)
{
    for (const FaultBrightness& f : kFaultBrightness)
        if (f.pattern == pattern) {
            Set s{"fault", kReset.p};
            s.p.bright = f.bright;
            return s;
        }
    return std::nullopt;
}

void Host::plotColumn(const ColumnView& c)
{
    add64(c.index);
    add32(std::uint32_t(c.x));
    add64(std::int64_t(c.colours.size()));
    for (std::size_t m = 0; m < c.colours.size(); ++m) {
        add32(std::uint32_t(c.ys[m]));
        add32(c.colours[m]);
    }
}

std::string Host::finish(const RenderResult& r)
{
    add32(std::uint32_t(int(r.outcome)));
    add64(r.columns);
    add64(r.rows);
    add64(r.faultColumn);
    add64(r.faultRow);
    return Sha256::hex(sha_.finish());
}

void Host::add32(std::uint32_t v) { addLittleEndian(sha_, v, 4); }
void Host::add64(std::int64_t v) { addLittleEndian(sha_, std::uint64_t(v), 8); }

std::string formulaDigest(const Pattern& p)
{
    Sha256 sha;
    for (const Set* s : {&kReset, &kOffset}) {
        const Derived d = p.derive(s->p);
        const std::vector<double> rows = scanCounters(d.y0, d.S, 1 << 20);
        for (double i : scanCounters(d.x0, d.N, 1 << 24))
            for (double j : rows) {
                const Components c = p.pixel(d, i, j);
                for (double v : {c.red, c.green, c.blue})
                    addLittleEndian(sha, std::bit_cast<std::uint64_t>(v), 8);
            }
    }
    return Sha256::hex(sha.finish());
}

}  // namespace glimra::digest
