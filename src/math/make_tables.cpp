// Prints tables.cpp: the constants and tables of the fast paths, each value
// the double (or the pair hi + lo) nearest the exact one, computed with MPFR at
// 400 bits. Run: glimra-math-tables > src/math/tables.cpp
#include <cstdint>  // before mpfr.h: declares the intmax_t conversions
#include <mpfr.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr mpfr_prec_t kPrec = 400;
constexpr int kTwoOverPiWordsForTables = 20;

// hi = RN(v), lo = RN(v - hi).
void split2(mpfr_t v, double& hi, double& lo)
{
    mpfr_t t;
    mpfr_init2(t, kPrec);
    hi = mpfr_get_d(v, MPFR_RNDN);
    mpfr_sub_d(t, v, hi, MPFR_RNDN);
    lo = mpfr_get_d(t, MPFR_RNDN);
    mpfr_clear(t);
}

// v cut after `bits` significant bits (towards zero); rest = v - cut.
double truncBits(mpfr_t v, int bits, mpfr_t rest)
{
    mpfr_t t;
    mpfr_init2(t, bits);
    mpfr_set(t, v, MPFR_RNDZ);
    const double d = mpfr_get_d(t, MPFR_RNDN);
    mpfr_sub_d(rest, v, d, MPFR_RNDN);
    mpfr_clear(t);
    return d;
}

// v rounded to `bits` significant bits (to nearest); rest = v - rounded.
double roundBits(mpfr_t v, int bits, mpfr_t rest)
{
    mpfr_t t;
    mpfr_init2(t, bits);
    mpfr_set(t, v, MPFR_RNDN);
    const double d = mpfr_get_d(t, MPFR_RNDN);
    mpfr_sub_d(rest, v, d, MPFR_RNDN);
    mpfr_clear(t);
    return d;
}

void printPair(double a, double b, const char* end) { std::printf("    {%a, %a}%s\n", a, b, end); }

// The first 64 * n bits of 2/pi after the binary point, in words. MPFR
// rounds 2/pi, so the bits come from a lower and an upper bound of it; they
// must agree in every printed bit.
void twoOverPiWords(int n, std::uint64_t* out)
{
    const mpfr_prec_t prec = 64 * n + 128;
    mpfr_t pi, b[2];
    mpfr_init2(pi, prec);
    mpfr_inits2(prec, b[0], b[1], (mpfr_ptr) nullptr);
    mpfr_const_pi(pi, MPFR_RNDU);
    mpfr_ui_div(b[0], 2, pi, MPFR_RNDD);  // below 2/pi
    mpfr_const_pi(pi, MPFR_RNDD);
    mpfr_ui_div(b[1], 2, pi, MPFR_RNDU);  // above 2/pi
    std::uint64_t w[2][64];
    for (int s = 0; s < 2; ++s)
        for (int i = 0; i < n; ++i) {
            mpfr_mul_2ui(b[s], b[s], 64, MPFR_RNDN);  // exact
            w[s][i] = mpfr_get_uj(b[s], MPFR_RNDZ);
            mpfr_frac(b[s], b[s], MPFR_RNDN);  // exact
        }
    for (int i = 0; i < n; ++i) {
        if (w[0][i] != w[1][i]) {
            std::fprintf(stderr, "2/pi: the bounds disagree in word %d; raise the precision\n", i);
            std::exit(1);
        }
        out[i] = w[0][i];
    }
    mpfr_clears(pi, b[0], b[1], (mpfr_ptr) nullptr);
}

// How near a double x = m 2^e (2^52 <= m < 2^53) of one exponent can come to
// a multiple of pi/2: |x - k pi/2| = (pi/2) |m a - j| for a = frac(2^e 2/pi)
// and an integer j. With p/q the last convergent of the continued fraction of
// a with q < 2^53, every 0 < m < 2^53 has |m a - j| >= |q a - p| (the
// convergents are the best approximations), so (pi/2) |q a - p| is a lower
// bound, met by a double when q >= 2^52. Returns log2 of the bound and q.
double nearestToPio2(int e, std::uint64_t& qOut)
{
    const mpfr_prec_t prec = (e > 0 ? e : 0) + 600;
    mpfr_t a, t, u, one;
    mpfr_inits2(prec, a, t, u, one, (mpfr_ptr) nullptr);
    mpfr_const_pi(t, MPFR_RNDN);
    mpfr_ui_div(a, 2, t, MPFR_RNDN);
    mpfr_mul_2si(a, a, e, MPFR_RNDN);
    mpfr_frac(a, a, MPFR_RNDN);
    // Continued fraction: t runs through the complete quotients' remainders.
    // Convergents p/q, starting from p_-1 / q_-1 = 1/0 and p_0 / q_0 = 0/1.
    std::uint64_t qPrev = 0, qCur = 1, pPrev = 1, pCur = 0;
    mpfr_set(t, a, MPFR_RNDN);
    std::uint64_t bestQ = 1, bestP = 0;
    for (int step = 0; step < 200 && !mpfr_zero_p(t); ++step) {
        mpfr_ui_div(t, 1, t, MPFR_RNDN);
        mpfr_floor(u, t);
        const double ad = mpfr_get_d(u, MPFR_RNDN);
        if (ad >= 0x1p53)
            break;
        const std::uint64_t an = static_cast<std::uint64_t>(ad);
        mpfr_sub(t, t, u, MPFR_RNDN);
        const unsigned __int128 qn = static_cast<unsigned __int128>(an) * qCur + qPrev;
        if (qn >= (static_cast<unsigned __int128>(1) << 53))
            break;
        const std::uint64_t pn = an * pCur + pPrev;
        qPrev = qCur;
        pPrev = pCur;
        qCur = static_cast<std::uint64_t>(qn);
        pCur = pn;
        bestQ = qCur;
        bestP = pCur;
    }
    // |q a - p|, from a itself rather than the remainders.
    mpfr_set_uj(one, bestQ, MPFR_RNDN);
    mpfr_mul(u, a, one, MPFR_RNDN);
    mpfr_set_uj(t, bestP, MPFR_RNDN);
    mpfr_sub(u, u, t, MPFR_RNDN);
    mpfr_abs(u, u, MPFR_RNDN);
    mpfr_const_pi(t, MPFR_RNDN);
    mpfr_mul(u, u, t, MPFR_RNDN);
    mpfr_div_2ui(u, u, 1, MPFR_RNDN);
    long ex;
    const double mant = mpfr_get_d_2exp(&ex, u, MPFR_RNDN);
    mpfr_clears(a, t, u, one, (mpfr_ptr) nullptr);
    qOut = bestQ;
    return std::log2(mant) + static_cast<double>(ex);
}

}  // namespace

int main()
{
    mpfr_t v, w, rest;
    mpfr_inits2(kPrec, v, w, rest, (mpfr_ptr) nullptr);
    std::printf("// Generated by glimra-math-tables (make_tables.cpp); do not edit.\n");
    std::printf("#include \"math/tables.h\"\n\nnamespace glimra::math::detail {\n\n");

    // pi/2 in three doubles, each the nearest to what the previous ones leave.
    mpfr_const_pi(v, MPFR_RNDN);
    mpfr_div_2ui(v, v, 1, MPFR_RNDN);
    double p[3];
    for (int i = 0; i < 3; ++i) {
        p[i] = mpfr_get_d(v, MPFR_RNDN);
        mpfr_sub_d(v, v, p[i], MPFR_RNDN);
    }
    std::printf("const double kPio2[3] = {%a, %a, %a};\n", p[0], p[1], p[2]);
    // And in three parts of 23 bits (k * part exact for |k| < 2^30) and a
    // double, for the reduction without a fused multiply-add.
    mpfr_const_pi(v, MPFR_RNDN);
    mpfr_div_2ui(v, v, 1, MPFR_RNDN);
    double q[4];
    for (int i = 0; i < 3; ++i) {
        q[i] = roundBits(v, 23, rest);
        mpfr_set(v, rest, MPFR_RNDN);
    }
    q[3] = mpfr_get_d(v, MPFR_RNDN);
    std::printf("const double kPio2Short[4] = {%a, %a, %a, %a};\n", q[0], q[1], q[2], q[3]);
    mpfr_const_pi(v, MPFR_RNDN);
    mpfr_ui_div(v, 2, v, MPFR_RNDN);
    std::printf("const double kTwoOverPi = %a;\n", mpfr_get_d(v, MPFR_RNDN));

    // ln 2 with a 42-bit head (e * head exact for |e| < 2^11) for the logarithm;
    // ln 2 / 256 with a 35-bit head (k * head exact for |k| < 2^18) for exp.
    mpfr_const_log2(v, MPFR_RNDN);
    const double l2h = truncBits(v, 42, rest);
    double l2l, l2l2;
    split2(rest, l2l, l2l2);
    std::printf("const double kLn2[2] = {%a, %a};\n", l2h, l2l);
    mpfr_div_2ui(v, v, 8, MPFR_RNDN);
    const double e1 = truncBits(v, 35, rest);
    // What the head leaves, also as a part of 35 bits (k * part exact) and a
    // double, for the reduction without a fused multiply-add.
    mpfr_t rest2;
    mpfr_init2(rest2, kPrec);
    const double f2 = roundBits(rest, 35, rest2);
    std::printf("const double kLn2By256Short[2] = {%a, %a};\n", f2, mpfr_get_d(rest2, MPFR_RNDN));
    mpfr_clear(rest2);
    double e2 = mpfr_get_d(rest, MPFR_RNDN);
    mpfr_sub_d(rest, rest, e2, MPFR_RNDN);
    double e3 = mpfr_get_d(rest, MPFR_RNDN);
    std::printf("const double kLn2By256[3] = {%a, %a, %a};\n", e1, e2, e3);
    mpfr_const_log2(v, MPFR_RNDN);
    mpfr_ui_div(v, 256, v, MPFR_RNDN);
    std::printf("const double k256OverLn2 = %a;\n\n", mpfr_get_d(v, MPFR_RNDN));

    std::printf("const double kSinCos[kSinCosSize][4] = {\n");
    for (int j = 0; j < 405; ++j) {
        double sh, sl, ch, cl;
        mpfr_set_si(w, j, MPFR_RNDN);
        mpfr_div_2ui(w, w, 9, MPFR_RNDN);
        mpfr_sin(v, w, MPFR_RNDN);
        split2(v, sh, sl);
        mpfr_cos(v, w, MPFR_RNDN);
        split2(v, ch, cl);
        std::printf("    {%a, %a, %a, %a},\n", sh, sl, ch, cl);
    }
    std::printf("};\n\n");

    // Logarithm, two steps: r1 = RN(1 / (1 + i/128)), i in -37..53, then
    // r2 = RN(1 / (1 + i/8192)), i in -64..64; each with -log(r) as hi + lo.
    const struct {
        const char* name;
        int lo, hi, shift;
    } steps[2] = {{"kLog1", -37, 53, 7}, {"kLog2", -64, 64, 13}};
    for (const auto& s : steps) {
        std::printf("const double %s[%d][3] = {\n", s.name, s.hi - s.lo + 1);
        for (int i = s.lo; i <= s.hi; ++i) {
            mpfr_set_si(w, i, MPFR_RNDN);
            mpfr_div_2ui(w, w, s.shift, MPFR_RNDN);
            mpfr_add_ui(w, w, 1, MPFR_RNDN);
            mpfr_ui_div(w, 1, w, MPFR_RNDN);
            const double r = mpfr_get_d(w, MPFR_RNDN);
            mpfr_set_d(w, r, MPFR_RNDN);
            mpfr_log(v, w, MPFR_RNDN);
            mpfr_neg(v, v, MPFR_RNDN);
            double th, tl;
            split2(v, th, tl);
            std::printf("    {%a, %a, %a},\n", r, th, tl);
        }
        std::printf("};\n\n");
    }

    std::printf("const double kExp2[256][2] = {\n");
    for (int j = 0; j < 256; ++j) {
        mpfr_set_si(w, j, MPFR_RNDN);
        mpfr_div_2ui(w, w, 8, MPFR_RNDN);
        mpfr_ui_pow(v, 2, w, MPFR_RNDN);
        double h, l;
        split2(v, h, l);
        printPair(h, l, ",");
    }
    std::printf("};\n\n");

    // 2/pi for the reduction of huge arguments: a zero word, then 19 words.
    std::uint64_t bits[kTwoOverPiWordsForTables];
    bits[0] = 0;
    twoOverPiWords(kTwoOverPiWordsForTables - 1, bits + 1);
    std::printf("const std::uint64_t kTwoOverPiBits[kTwoOverPiWords] = {\n");
    for (int i = 0; i < kTwoOverPiWordsForTables; ++i)
        std::printf("%s0x%016" PRIx64 "u,%s", i % 4 == 0 ? "    " : "", bits[i],
                    i % 4 == 3 || i + 1 == kTwoOverPiWordsForTables ? "\n" : " ");
    std::printf("};\n\n");

    // The closest approach of a double of 2^30 or more to a multiple of pi/2,
    // over every exponent, for the record beside the reduction's analysis.
    struct Near {
        double log2Bound;
        int e;
        std::uint64_t q;
    } nearest[4];
    int kept = 0;
    for (int e = -22; e <= 971; ++e) {
        Near n{0, e, 0};
        n.log2Bound = nearestToPio2(e, n.q);
        int i = kept < 4 ? kept++ : 4;
        if (i == 4 && n.log2Bound >= nearest[3].log2Bound)
            continue;
        if (i == 4)
            i = 3;
        for (; i > 0 && nearest[i - 1].log2Bound > n.log2Bound; --i)
            nearest[i] = nearest[i - 1];
        nearest[i] = n;
    }
    std::printf("// No double x with |x| >= 2^30 lies nearer a multiple of pi/2 than 2^%.3f.\n", nearest[0].log2Bound);
    std::printf("// The nearest four exponents' bounds, met by q 2^e where q >= 2^52:\n");
    for (const Near& n : nearest)
        std::printf("//   2^%.3f: q = %" PRIu64 ", e = %d%s\n", n.log2Bound, n.q, n.e,
                    n.q >= (1ull << 52) ? "" : " (q < 2^52: a bound only)");
    std::printf("\n");
    std::printf("} // namespace glimra::math::detail\n");
    mpfr_clears(v, w, rest, (mpfr_ptr) nullptr);
    mpfr_free_cache();
    return 0;
}
