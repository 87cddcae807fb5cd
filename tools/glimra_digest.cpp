// glimra-digest: the golden pictures' digests from the render core alone (no
// Qt), so that a build for another processor, or with another C library, can
// be compared with this one line for line. One line per picture:
//
//   PATTERN SET OUTCOME FAULT_COLUMN FAULT_ROW SHA256
//
//   glimra-digest [--threads N] [--sets reset,L,offset,fault,M,formula]
//
// The sets and the bytes hashed are the golden tests' (render/digest.h), so
// every digest equals the one recorded there (test_digest_golden checks it).
#include "patterns/patterns.h"
#include "render/digest.h"
#include "render/frame.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace glimra;

// The sets in the order printed per pattern. "fault" is the reset picture
// at the pattern's fault brightness (digest::faultSet); "formula" is no
// picture but the formula's unrounded components (digest::formulaDigest).
const char* const kSetNames[] = {"reset", "L", "offset", "fault", "M", "formula"};

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
    std::vector<std::string_view> sets(std::begin(kSetNames), std::end(kSetNames));

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
                if (std::find(std::begin(kSetNames), std::end(kSetNames), name) == std::end(kSetNames))
                    return usage(
                        ("unknown set '" + std::string(name) + "' (reset, L, offset, fault, M, formula)").c_str());
                sets.push_back(name);
                from = to + 1;
            }
        }
    }

    // The width the scans take, on standard error so that the lines stay
    // comparable: a run that was to force a narrower path can check it did.
    std::fprintf(stderr, "lanes %d\n", widestLanes());
    for (const Pattern* pattern : patternTable()) {
        for (const std::string_view set : sets) {
            if (set == "formula") {
                std::printf("%s formula - - - %s\n", pattern->name, digest::formulaDigest(*pattern).c_str());
                continue;
            }
            std::optional<digest::Set> s;
            for (const digest::Set* known : {&digest::kReset, &digest::kLarge, &digest::kOffset, &digest::kMedium})
                if (set == known->name)
                    s = *known;
            if (set == "fault")
                s = digest::faultSet(pattern->name);
            if (!s) {
                std::fprintf(stderr, "glimra-digest: %s has no fault brightness recorded\n", pattern->name);
                return 1;
            }
            digest::Host host;
            const RenderResult r = render(*pattern, s->p, host, digest::renderOptions(threads));
            const std::string sha = host.finish(r);
            std::printf("%s %s %s %ld %ld %s\n", pattern->name, s->name, outcomeName(r.outcome), r.faultColumn,
                        r.faultRow, sha.c_str());
        }
    }
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
