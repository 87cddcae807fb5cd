// The golden pictures' parameter sets and digests, shared by the golden test
// and the tool that lists what a change of the formulas' functions changes.
// Each digest is the SHA-256 of a picture as the Canvas receives it (see
// DigestHost in test_golden.cpp), together with how the render ended.
#pragma once

#include "render/frame.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <vector>

namespace glimra::golden {

struct Set {
    const char* name;
    PatternParameters p;  // P1, P2, P3 (size), P4 (zoom), P5 (brightness)
};

inline const Set kReset{"reset", {1, 1, 100, 1, 150}};
inline const Set kLarge{"L", {1, 1, 768, 0.15, 150}};
inline const Set kOffset{"offset", {37.5, -12.25, 64.5, 0.6, 90}};
inline const Set kMedium{"M", {150, 200, 600, 0.2, 150}};

struct Golden {
    const char* pattern;
    double faultBrightness;  // the reset picture at this brightness overflows after some columns,
    long faultColumn;        // at this pixel
    long faultRow;
    const char* reset;
    const char* large;
    const char* offset;
    const char* fault;  // also pins the fault's column and row
    const char* medium;
    // The formula's unrounded components at every pixel of the reset and
    // offset sets (formulaDigest): a change of one rounding in a formula
    // rarely moves a pixel's colour, but always changes this.
    const char* formula;
};

// clang-format off
inline const Golden kGolden[] = {
    {"aries", 1e305, 12, 11, "fd39d8e57d3bbef243fc5564bcf5d79c489b021ad34374c7a8f72becd680f631", "d93136224940f7c7da61e371a64a4404b0c6df84a612b391bba8ddde5d295716", "8bcd8ddf460f446c23d499ba8124ef14db6756e334cd283c3333843a314d69c3", "17de3c93ba22a69e3ea7f355ea9e5c1df0bfbdf623e2e78056b3db03a4246a11", "9c00fcb9a372ae7085b482b4eca29074cf011c6f2837d8a0c8dcf5e7292a7a94", "501de798d862f71f47170f3bc00fcaff8d6cd4950e3f338cb2baaf33de2856ca"},
    {"blood", 1e305, 85, 58, "8980ee60f2ffcee3daf556d71f424592e8464cd28a968967c5011fac64745fb1", "eb5c2aa913f2b14ed51e2b640c9c7233cdf720092b538896fa38da85da4234b8", "b07ad38ffda30dd213a094a884d2bdbff901e9a81265890aa55d1db1b79765cb", "54381d0a370ada770f224e3b613de471aeb1576528bfa7adc3c417af0cdd03ff", "9a63ef66c498c9686fe26a9eff4162f1420c2d452baff878743120146f023d9c", "d1f97009fe3a0e59d1640f8638fcd32aa08bf13e16198393677340e04999e050"},
    {"celt", 1e306, 7, 45, "51be0543b657ddfc54cb2bc92b767ab2c0fa309fea8c93f36114242233099f8c", "d4c81d5fd65233c01d80dcbc1b1742f127b28f841c54b03822a53c04501bfd3e", "0c9ae7837c071e14358fff7cb550b1e4da58af4bf137f9ddbb13dbc57d15bb08", "703e3677a1ec639df918b1cd81e73490c9cbac8189da06c2935f708da86a7296", "9646f8d4b3107c105d4851627eb42e2c50267bbcc39351e8c72b7be93813927b", "a71916d00733d9980ded7eda5f74b1f82f7ccd00f8df67ff43d04b5ebab328c7"},
    {"dune", 1e306, 11, 36, "dd68b74386a7b6a8b4376bbe24b2f7d8cdce23953583fc2de33becec73260839", "c958a964e9d382a572a6a95d5046acfe2dde4ed2de34846f56842649883f80f2", "ac759ac52e2ddc3d675420c1f45213e26008a424eaaf8e665ac3c788fa73bf63", "d2436d060ae1a912e13d1c84d1692db15eb867a964b9182ae600b5c0ff6ab426", "009d5dde031cd224016457a743978fc7ec6aeb46bcbe628b989ef9183d7b0f2c", "a96916374bfa58a9b97c88867e53a30057911d10c93c979e56b90d6d6e270aa6"},
    {"eeee", 1e306, 21, 59, "ea984fadf3cc77283068d415d2a7396eaf49627f5eacbc2054feecce065b116e", "03871ad79545bae72dc26c9b31a97f829eca80e88434f053b265246e887ed343", "31856cb458763a606f2f1554fa934f931a482feea6177a124088cb56bbe0b765", "2257e73bfeae249b9eb2971115c3724e68120e46b48138db3d7691ef8c274d6e", "c3d71fe9547aa35ba8336255e6299661464ea9de848cdca72919f64f146e9efa", "ff669f8d16062258100e028ae9289dab9e1bd1a4df552ae22be89669e5e1b142"},
    {"fun", 1e306, 5, 49, "56b7ec0ec101482d181e256690dac1ea20f86fdf9263ac16fc402022256e24b5", "4641a3d17bb0f52349ef77394b27955db29e953f72f7f5091f00ea3e57a141eb", "f1251cb1720b25560a8a4701f1658347084b5a2aa11ee2a5a703ad576e65dbae", "06207b79da03bc7977b25184e193e83b5faae1981fda24f29f2a68661bc7b07b", "d6b883bee545445919445637d11aeae961bcf5eb733d15a94f39afe5fd4555d0", "3c5a213ce0722e5ab0b2d804745f93131a55238d2216db9ac4252922ff5b794b"},
    {"grin", 1e305, 47, 10, "e885f222b2de9018a0032feaa997cf8f26ea08f423829549126811a27694f342", "7bb2fbfa8c8645891ca381f2dd110fce163397514c014d7d2adbda1cdab342db", "6b37c5c8c32f1d196805166f33096636b5a6c09cd56343d3fdd41b85595769a4", "418a279a46f3263195d4d15846210a2fb0839d4f45a651fa147d782764146a14", "85a002b98d0e78092c7c7ec8ab1d727dec747310f6e86d31f7b6ef28a1b8e7b8", "b74e19d16ce4a2a9aa366df3b3a7cf663f2652f06deb99f1f46260ed117e2d33"},
    {"hix", 1e305, 42, 45, "f2496eb2addfdb632941c734fa85d05f3938f769cc6658204875b4196b191a1a", "2da48e1cc5289434a6cbc9e86a234b1f63abaafc2b8bfab22203df7f1a6c0671", "edc1193f9e44acbe016d135513a2dd73cfbf66524163dda39a0866a23d785337", "1babca24204e670951d309cd7f07c61ad4c83afdab52a60d59eb27288cdefe28", "865d962fe80baa485819cba46ccf7d153be21a118ca1d6b8c6b850faee885e56", "1134043599bd0f90bccf0a8c6c9da3e259934b1447c1efab49f7e397346e5f14"},
    {"ice", 1e306, 29, 59, "2e3c3c4564ce6b806a4236f781c5ff54dd7715dab0759ac8926bd916ffdb0abc", "9c31ef62a4db1293cc0f38f9231902102f7ca0c02b8f7622e92503a325b2a4e3", "bbdce0f4b3ada4945868616fa1105d62ef02e7b4d64a4ab12aeb9081d9025c02", "fa01f3b8e3bf56a7cf039b054974349278e3489c7ef03c8a042a2adc46a24f00", "f5d1715f907c4de8319057fba98450957bc125bf0a89be14fb3b700e7e2991c8", "8e3e03b182f7937cd9297c30fc056c96e93b29833da0c2448614cb57270f3194"},
    {"joke", 1e305, 63, 39, "fbadbb63a02b0fc462c12f5a8b8d82a44d53089d2dbad91abb789e3e9dd223a9", "a51dd75eaf079256d51f048299061e5ec5f4ff93c845806dc961129210e8a436", "4fe90a40daeabaf88d011b8afaf207d62441b56970663e977ea895da32a148c7", "37c35c94dad1b8d0bbc9f83f944043eac70ed1a344252919ca05cd44861722cd", "095b781d8394180419d9e85c58bdb09d4d4a4e231fcf2cbc7475085bb7175196", "a1f82ad3bce957e0aa2299d4afe5960b8222823491d683d52e18c2e83c219b7d"},
    {"kraken", 1e305, 37, 48, "8f7b27fdf55c7888f87e5c393b56b1f2a0273f37a636742849feeb8a94c2ef28", "83d4e70c266516b327988d915df9134e12da523c1687433b13c65d86920d4cb8", "740e71543fd33ace695c198a04a2d15dbfe4ead3f4e9fcac1878ecbebe6fbe37", "7c5d57386f679aced7a110cc0442765569aadee7fcbfeede333867fabbbebe59", "d0d37aa70c9b0c92824059e46ae84e1e0ae2cec7f0a7826741a5dba2b8f67063", "96100647d66ad22675b86a257839c566c54bfb22947b75758eca66af5667d6a9"},
    {"limbo", 1e305, 9, 49, "c1ca204ca5e256f059090c0f2875270da99b5dfc44f3312e313dc1a0e5266df0", "37837c8bed0ff815c7c19f473fe65b63c8e63fefc3db82c27f155ca14773f19c", "bdd9436df93472c2a42ff9cc77d44e03c5e40de60585b698311716fa59b8cfd7", "c82d3dad3a4df34764b936cda81c9b550b542b313e8303821beccab3022c676a", "ccfd38e94b901604ff5d1a68f391a9c7a40b95fc55599e7e7eba65a26c560e7b", "059cf3897c5b40c4b57c5cc5ca98fb23ecda61f87afb65d262b3b97df7ad7669"},
    {"numb", 1e305, 49, 53, "f408d1884564e6bf8166fb9d0a13dcafb06ff9a756be05d6fdc4eda75c1878c9", "937877dc97b896a4ec41727cf9f1fde3a6c1c56da3c4521ca093896b74aea450", "394d5620b71ef391a24e316139c6c3ab04f616eac3e388b21090e9f181c3ed5c", "7c9a516c16c88742ead1a82d304576b421cb7bb6ef1e7e26c3852ebaa76b2b6b", "7dec39e713ac2016213feb3a93a76766dd6f43858a58fb3d6a0d6a9142dbad1b", "cfa768ed7af19784723dee0f7e67c2bd99e918b1b471071dd32207ee8530df3a"},
    {"ooh", 1e306, 11, 29, "e53cccd2e24574a0d8c6eaac58dd3ff9bf3b7267c4ef76326428ac61042e0bee", "0fe6224a4aa1bf3d6793bfb229a5127f7059adae688add35bb22a9527e448e7c", "c3813b50d52b89f9d9f420b80ecedf914854cff8532539092e80aea37f008b8f", "ef0d17e4b3a787c5ae49e09af5db6e2049b8f7f49581ba9a26197e1f3c7810e4", "b64a53fbd865874a41c8a64fb8527b98b8e42e17b5447b8383fd8f5f1a56e084", "656c72c3aee2dbfaaaa0b30644503ae563f1a2bff5a7436ef7e0926f436b273c"},
    {"Punk", 1e305, 27, 9, "ee3246ff84988c77fa0ee5811f396091e99861f02c84b53d94775203c928a49d", "c452ebeecdcfb9d4bbbff472056a64ffddb090a5b8c7d669df210d74929ebb80", "969401600caa6239a990f8017a4069d1e5e1d9859e3df2a3b3d4a076291726bb", "25dd65261955202fb40cc862d60bf7bbfa61da0f3d7bd417f75b45495e955ab1", "c54950b81c1d17acb03d63eac87ad4c8700dd84be9b430f30bda5d6bf2fce757", "6799ff6f5226ddd91e4a250da0e3e91201e25200676c858c35731d1de5da462d"},
    {"qwin", 1e305, 15, 14, "74d30fe53f7336d8660eaf7f10250c5d78a48b69015d403c10aaab6992a98c3f", "e1da7735ba622f0233c62ae492eaeaf71848c4e62e8847d60c3837abccf7e527", "39f8b1e39f0224f19317c092cd26831fc55d6b08fcecb7b74588af6cfe035678", "7fddcaff9300223351733aedce3380c0d001dc33d75688a5b4ba89406f565c09", "609ee8a21c0ca6e9507364d9b1395e3f55fd4370ef04676bdb333f41be1c1101", "8ed3eed664fb083186b3b27f8a1f2441ec15d92e093e22ed2fb6eda61c44ff75"},
    {"rumba", 1e306, 24, 79, "22aec03a3d50ef1e76178d3c10f1b652cbb02ba8e5076f377546eabd944ec403", "0d8181306805021f2ff2452ba02cb048c694da46afe1fb854364e3d72ae68e3e", "8050680f3bbddf502c55b5305ad1ae6ebf8ae1d234b77ef9c8e5bb91e3c8d036", "b2183dfb097aecb6978d0ee458fff89d312bb1a594c4089dab2d8ec7a4cdbcc8", "7dc0fe42a1cfc3bfb813a3553c4be9ed30c4652ec256ea5a7dd9287b393d9c39", "a5df394c618f606a4c30f7e993dd09942a67b8cdc5b138bd646f9600e2eb9f01"},
    {"sizZle", 1e305, 10, 69, "5ac468bcbe25728fbf789b987a7f29326d7c1f04642b770a8b85d9941f15768b", "00285ea6cc323a49f61f9a7556433f26f0643c615af6f8786fcbbe93aae06ee9", "2dbecc2113690d997c169265af3a6ebd64f571f3685c43cfc4b35244ad64070a", "8341c3e323748d5ba4867e52cccb4c670728d3093f086cfdb293e41d43f12846", "7e749a5dce9eb61b7b2043ec09005fa663a916679dce951915688495b8ac5f49", "bc896313c5fec3a40547a89ad96c4c66d58b803e0cf3832a140befbd70232a64"},
    {"Tame", 1e306, 52, 77, "447813680cd3e1394fac88caea028f69e84aaa99695f059fb0d0acc6c94448d3", "2489e0871c366e8fe6bca9bd9fe35877b3132fbf7dc4ac1efb51ff8dabd78f0c", "86194af10250fa7fa8e8739cb2374f1be28610df2b4ceb62f42649e5eb4834bd", "79483314a1e0f8b56db7d2e7037bc221b7401e452e7232d437db479de59bd697", "f4864ab598262b46f7dcdbf773024e6a9f8bd154cd82e82a0522562bbf1a2368", "9b2f26782137f86ea79fed53d19cb576e49a7840ef07d6a421d55f73c80031c0"},
};
// clang-format on

// One golden picture of a pattern: its parameters, its digest and, for the
// picture that faults, where.
struct GoldenPicture {
    Set set;
    const char* digest;
    long faultColumn, faultRow;
};

// The five golden pictures of a pattern.
inline std::vector<GoldenPicture> picturesOf(const Golden& g)
{
    Set fault{"fault", kReset.p};
    fault.p.bright = g.faultBrightness;
    return {{kReset, g.reset, -1, -1},
            {kLarge, g.large, -1, -1},
            {kOffset, g.offset, -1, -1},
            {kMedium, g.medium, -1, -1},
            {fault, g.fault, g.faultColumn, g.faultRow}};
}

// The bits of the three components of `pixel` at every pixel of the reset
// and offset sets, column by column.
inline QByteArray formulaDigest(const Pattern& p)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const Set* s : {&kReset, &kOffset}) {
        const Derived d = p.derive(s->p);
        const std::vector<double> rows = scanCounters(d.y0, d.S, 1 << 20);
        for (double i : scanCounters(d.x0, d.N, 1 << 24))
            for (double j : rows) {
                const Components c = p.pixel(d, i, j);
                for (double v : {c.red, c.green, c.blue})
                    hash.addData(QByteArrayView(reinterpret_cast<const char*>(&v), sizeof v));
            }
    }
    return hash.result().toHex();
}

// Hashes every column exactly as it is delivered, in delivery order.
class DigestHost : public RenderHost {
public:
    QCryptographicHash hash{QCryptographicHash::Sha256};

    void plotColumn(const ColumnView& c) override
    {
        add(c.index);
        add(c.x);
        add(long(c.colours.size()));
        for (std::size_t m = 0; m < c.colours.size(); ++m) {
            add(c.ys[m]);
            add(c.colours[m]);
        }
    }

    QByteArray finish(const RenderResult& r)
    {
        add(int(r.outcome));
        add(r.columns);
        add(r.rows);
        add(r.faultColumn);
        add(r.faultRow);
        return hash.result().toHex();
    }

private:
    template <class T>
    void add(T v)
    {
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(&v), sizeof v));
    }
};

} // namespace glimra::golden
