// Several lanes at a time give what one lane gives: the same bits and the same
// fault flags, for the arguments a picture meets and for the ones its fast
// paths decline (specials, tiny and huge arguments, failed rounding tests).
#include "math/lanes.h"

#include <QtTest>

#include <bit>
#include <cfenv>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

using glimra::lanes::Function;

namespace {

constexpr int kFaults = FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Mixes ordinary arguments with declined ones so that every group of lanes
// holds both kinds in every position.
std::vector<double> arguments(std::mt19937_64& rng, std::size_t n, bool forPow)
{
    // Small sines whose low word once carried more rounding error than the bound
    // allows, without a fused multiply-add.
    const double s1 = 0x1.713561087f859p-26, s2 = 0x1.4f735a9ee80bep-25;
    const double odd[] = {
        0.0,       -0.0,   kInf,   -kInf, kNaN, 0x1p-30, -0x1p-1074, 0x1p31, 1e300, 1.0, -1.0, 0x1.921fb54442d18p0,
        0x1p-1030, 709.78, -745.2, 3.0,   0.5,  -2.0,    s1,         s2};
    std::uniform_real_distribution<double> unit(-1, 1);
    std::vector<double> v(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double u = unit(rng);
        switch (rng() % 6) {
        case 0: v[k] = odd[rng() % std::size(odd)]; break;
        case 1: v[k] = u * 4; break;
        case 2: v[k] = u * 1e4; break;
        case 3: v[k] = std::ldexp(u, int(rng() % 80) - 40); break;
        case 4: v[k] = forPow ? std::fabs(u) * 1e6 : u * 1e9; break;
        default: v[k] = forPow ? u * 0.4 : std::ldexp(std::bit_cast<double>(rng() | 1), 0); break;
        }
    }
    return v;
}

}  // namespace

class TestLanes : public QObject {
    Q_OBJECT

private slots:
    void widthsAgree_data()
    {
        QTest::addColumn<int>("function");
        QTest::addColumn<int>("width");
        const char* names[] = {"sin", "cos", "tan", "pow"};
        for (int f = 0; f < 4; ++f)
            for (int width : {2, 4, 8})
                QTest::addRow("%s, %d lanes", names[f], width) << f << width;
    }

    // Group by group, so that a flag raised for another lane's sake is caught;
    // a group of sixty-two takes every form: AVX-512 thirty-two rows at once,
    // then sixteen, eight and one at a time; AVX2 sixteen, eight, four and
    // one; SSE2 and NEON eight, four, two and one.
    void widthsAgree()
    {
        QFETCH(int, function);
        QFETCH(int, width);
        if (width > glimra::lanes::widestWidth())
            QSKIP("this processor has no such width");
        const Function f = Function(function);
        std::mt19937_64 rng(std::uint64_t(function * 10 + width));
        constexpr std::size_t kGroup = 62;
        const std::size_t groups = 5000;
        const std::vector<double> x = arguments(rng, groups * kGroup, f == Function::Pow);
        const std::vector<double> y = arguments(rng, groups * kGroup, f == Function::Pow);
        int mismatches = 0, flagMismatches = 0;
        for (std::size_t g = 0; g < groups; ++g) {
            double one[kGroup], many[kGroup];
            const double* gx = &x[g * kGroup];
            const double* gy = &y[g * kGroup];
            std::feclearexcept(FE_ALL_EXCEPT);
            glimra::lanes::evaluate(f, 1, gx, gy, one, kGroup);
            const int flagsOne = std::fetestexcept(kFaults);
            std::feclearexcept(FE_ALL_EXCEPT);
            glimra::lanes::evaluate(f, width, gx, gy, many, kGroup);
            const int flagsMany = std::fetestexcept(kFaults);
            for (std::size_t l = 0; l < kGroup; ++l)
                if (std::bit_cast<std::uint64_t>(one[l]) != std::bit_cast<std::uint64_t>(many[l]) &&
                    !(std::isnan(one[l]) && std::isnan(many[l])) && mismatches++ < 5)
                    qWarning("f(%a, %a): %a on one lane, %a on %d", gx[l], gy[l], one[l], many[l], width);
            if (flagsOne != flagsMany && flagMismatches++ < 5)
                qWarning("group %zu: flags %x on one lane, %x on %d", g, flagsOne, flagsMany, width);
        }
        QCOMPARE(mismatches, 0);
        QCOMPARE(flagMismatches, 0);
    }
};

QTEST_APPLESS_MAIN(TestLanes)
#include "test_lanes.moc"
