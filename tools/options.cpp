#include "options.h"

#include "formula/formula.h"
#include "picture/film_encoder.h"
#include "render/numtext.h"
#include "place/place.h"
#include "version.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace glimra {
namespace {

std::string patternNames()
{
    std::string names;
    for (const Pattern* p : patternTable()) {
        if (!names.empty())
            names += ", ";
        names += p->name;
    }
    return names;
}

Exit usageError(const std::string& reason) { return {2, "glimra-render: " + reason + " (try --help)"}; }

// A whole number from `least` to `most`, written as a plain number.
std::optional<int> wholeNumber(const QString& text, int least, int most)
{
    const auto n = strictNumber(text.toStdString());
    if (!n || *n != std::floor(*n) || *n < least || *n > most)
        return std::nullopt;
    return int(*n);
}

const char* const kHelp =
    "usage: glimra-render PATTERN|--formula FILE [--x TEXT] [--y TEXT] [--size TEXT]\n"
    "                     [--zoom TEXT] [--bright TEXT] [--density K] [--samples N]\n"
    "                     [--from FILE.png] [--threads N] [--resume | --part K/N] -o FILE\n"
    "       glimra-render --place PLACE [options as above] -o FILE\n"
    "       glimra-render --place A --to-place B --seconds T --fps F [--resume]\n"
    "                     -o FOLDER/\n"
    "       glimra-render --join FILE.png\n"
    "       glimra-render --print-place FILE.png\n"
    "       glimra-render --print-formula PATTERN\n"
    "       glimra-render --gallery [--x TEXT] [--y TEXT] [--size TEXT] [--zoom TEXT]\n"
    "                     [--bright TEXT] -o FILE\n"
    "\n"
    "Renders one pattern to FILE, exactly as the window paints it.\n"
    "PATTERN is a pattern's name (any letter case) or its button index 0 to 18.\n"
    "\n"
    "  --formula FILE   a pattern written as a formula (see --print-formula),\n"
    "                   read from FILE, or standard input for -, in place of\n"
    "                   PATTERN; a PNG, a place, parts and films carry its text\n"
    "  --x, --y, --size, --zoom, --bright TEXT\n"
    "        the five values, read as the window reads its boxes; defaults are\n"
    "        the window's start values 1, 1, 150, 1, 150. A size of 768 paints\n"
    "        1024 x 768, any other size a square.\n"
    "  --density K      K times the resolution over the same region (1 to 64)\n"
    "  --samples N      N x N samples per pixel, averaged in linear light (1 to 8)\n"
    "  --from FILE.png  pattern and values from a PNG this program wrote;\n"
    "                   options given as well override them\n"
    "  --place PLACE    pattern and values from a place, a line such as\n"
    "                   glimra:dune?x=1&y=1&size=150&zoom=1&bright=150\n"
    "                   (a formula's place carries its text, at most 8192\n"
    "                   bytes: glimra:formula?x=1&...&formula=TEXT);\n"
    "                   options given as well override them\n"
    "  --print-place FILE.png\n"
    "                   prints the place a PNG of this program shows\n"
    "  --print-formula PATTERN\n"
    "                   prints a pattern written as a formula, the same\n"
    "                   picture to the last bit: a start for one's own\n"
    "  --threads N      threads (1 to 256, default one per core); any count\n"
    "                   gives the same picture\n"
    "  --resume         keeps each finished band of a PNG in FILE.parts/ and\n"
    "                   takes the bands a stopped or killed run of the same\n"
    "                   command kept; the folder goes when FILE is written\n"
    "  --part K/N       renders part K of N of the picture's bands into\n"
    "                   FILE.part-K-of-N, for one machine (or job) each\n"
    "  --join FILE.png  assembles FILE.png from FILE.png.part-1-of-N to N-of-N,\n"
    "                   the same file one machine would have written\n"
    "  --to-place B     makes a film from the place given (by --place, --from\n"
    "                   or a pattern and its values) to B, a place or a PNG\n"
    "                   this program wrote: the zoom changes by the same factor\n"
    "                   every frame about the point both places show at the\n"
    "                   same pixel, the brightness by the same step; B is of\n"
    "                   the first place's pattern, and without size= has its size\n"
    "  --seconds T, --fps F\n"
    "                   the film's length and frames per second (T x F frames,\n"
    "                   at least 2); -o FILM.mp4 (H.264), FILM.webm (VP9), or a\n"
    "                   folder, written one PNG a frame (frame-00001.png, ...);\n"
    "                   with --resume a stopped folder of frames continues;\n"
    "                   a folder holding another film's frames is refused\n"
    "  --gallery        all nineteen patterns as named thumbnails in one picture\n"
    "  -o FILE          the picture; its suffix chooses the format (.png, .ppm,\n"
    "                   .bmp, ...). Pictures larger than 8192 on a side (up to\n"
    "                   65536) are PNG only, written in bands with bounded memory.\n"
    "  --help, --version\n";

// The place a PNG of ours shows, read with the bounded reader --from uses
// (which refuses a pipe and never lets the PNG library print).
Exit printPlace(const QString& path)
{
    QString why;
    const auto recipe = readRecipe(path, &why);
    if (!recipe)
        return {1, "glimra-render: " + why.toStdString()};
    if (recipe->formula.size() > kMaxPlaceFormula)
        return {1, "glimra-render: " + path.toStdString() + " shows a formula longer than a place carries (" +
                       std::to_string(kMaxPlaceFormula) + " bytes)"};
    return {0, printable(formatPlace(Place{recipe->pattern, recipe->texts, recipe->formula}))};
}

// The option nearest to a misspelt one, when one is near enough to be meant.
std::string nearestOption(const std::string& wrong, const QStringList& names)
{
    std::string best;
    std::size_t bestDistance = std::max<std::size_t>(1, wrong.size() / 3) + 1;
    for (const QString& n : names) {
        const std::string name = n.toStdString();
        std::vector<std::size_t> row(name.size() + 1);
        for (std::size_t j = 0; j <= name.size(); ++j)
            row[j] = j;
        for (std::size_t i = 1; i <= wrong.size(); ++i) {
            std::size_t diagonal = row[0];
            row[0] = i;
            for (std::size_t j = 1; j <= name.size(); ++j) {
                const std::size_t above = row[j];
                row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (wrong[i - 1] == name[j - 1] ? 0 : 1)});
                diagonal = above;
            }
        }
        if (row[name.size()] < bestDistance) {
            bestDistance = row[name.size()];
            best = name;
        }
    }
    return best.empty() ? best : (best.size() == 1 ? "-" : "--") + best;
}

// A text the lenient reading takes only the start of ("0,5" is 0): said, so
// that a comma typed for a point does not pass unnoticed.
void noteLenient(const PatternTexts& texts, const std::string& where, std::vector<std::string>& warnings)
{
    for (const ParameterName& p : kParameterNames) {
        const std::string& text = texts.*p.text;
        if (!valWhole(text))
            warnings.push_back("glimra-render: warning: " + where + p.name + " '" + text +
                               "' is not wholly a number; it is read as " + Text(Val(text)));
    }
}

}  // namespace

std::string printable(std::string_view text)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    auto escapeByte = [&](unsigned char c) {
        const char* named = c == '\n' ? "\\n" : c == '\t' ? "\\t" : c == '\r' ? "\\r" : nullptr;
        if (named) {
            out += named;
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    };
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f) {
            escapeByte(c);
            ++i;
            continue;
        }
        if (c < 0x80) {
            out += char(c);
            ++i;
            continue;
        }
        // One UTF-8 sequence, shortest form only; anything else byte by byte.
        const int length = c >= 0xc2 && c <= 0xdf ? 2 : c >= 0xe0 && c <= 0xef ? 3 : c >= 0xf0 && c <= 0xf4 ? 4 : 0;
        char32_t code = length == 2 ? c & 0x1f : length == 3 ? c & 0x0f : c & 0x07;
        bool whole = length > 0 && i + std::size_t(length) <= text.size();
        for (int k = 1; whole && k < length; ++k) {
            const unsigned char d = static_cast<unsigned char>(text[i + std::size_t(k)]);
            whole = (d & 0xc0) == 0x80;
            code = (code << 6) | (d & 0x3f);
        }
        whole = whole && !(length == 3 && (code < 0x800 || (code >= 0xd800 && code <= 0xdfff))) &&
                !(length == 4 && (code < 0x10000 || code > 0x10ffff));
        if (!whole) {
            escapeByte(c);
            ++i;
            continue;
        }
        if (code >= 0x80 && code <= 0x9f) {
            out += "\\u00";
            out += kHex[code >> 4];
            out += kHex[code & 15];
        } else {
            out.append(text.substr(i, std::size_t(length)));
        }
        i += std::size_t(length);
    }
    return out;
}

std::variant<Job, Exit> parseCommandLine(int argc, char** argv)
{
    QStringList arguments;
    for (int k = 0; k < argc; ++k)
        arguments << QString::fromLocal8Bit(argv[k]);

    QCommandLineParser parser;
    // "-o" and "--x" only: no bundling of single letters, so "--x -150"
    // reads -150 as the value it is.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addPositionalArgument(QStringLiteral("PATTERN"), QStringLiteral("the pattern to render"));
    const QCommandLineOption x(QStringLiteral("x"), QStringLiteral("horizontal position (box \"1\")"),
                               QStringLiteral("TEXT"));
    const QCommandLineOption y(QStringLiteral("y"), QStringLiteral("vertical position"), QStringLiteral("TEXT"));
    const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("size; 768 paints 1024 x 768"),
                                  QStringLiteral("TEXT"));
    const QCommandLineOption zoom(QStringLiteral("zoom"), QStringLiteral("zoom"), QStringLiteral("TEXT"));
    const QCommandLineOption bright(QStringLiteral("bright"), QStringLiteral("brightness"), QStringLiteral("TEXT"));
    const QCommandLineOption density(QStringLiteral("density"),
                                     QStringLiteral("K times the resolution over the same region, 1 to 64"),
                                     QStringLiteral("K"));
    const QCommandLineOption samples(QStringLiteral("samples"),
                                     QStringLiteral("N x N samples per pixel, averaged in linear light, 1 to 8"),
                                     QStringLiteral("N"));
    const QCommandLineOption from(QStringLiteral("from"),
                                  QStringLiteral("pattern and values from a PNG this program wrote; options given "
                                                 "as well override them"),
                                  QStringLiteral("FILE.png"));
    const QCommandLineOption place(QStringLiteral("place"),
                                   QStringLiteral("pattern and values from a place; options given as well override "
                                                  "them"),
                                   QStringLiteral("PLACE"));
    const QCommandLineOption printPlaceOption(QStringLiteral("print-place"),
                                              QStringLiteral("prints the place a PNG of this program shows"),
                                              QStringLiteral("FILE.png"));
    const QCommandLineOption printFormulaOption(QStringLiteral("print-formula"),
                                                QStringLiteral("prints a pattern written as a formula"),
                                                QStringLiteral("PATTERN"));
    const QCommandLineOption formulaOption(QStringLiteral("formula"),
                                           QStringLiteral("a pattern written as a formula, from FILE or - for "
                                                          "standard input"),
                                           QStringLiteral("FILE"));
    const QCommandLineOption threads(QStringLiteral("threads"),
                                     QStringLiteral("threads, 1 to 256 (default one per core); any count gives "
                                                    "the same picture"),
                                     QStringLiteral("N"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("the picture file to write"), QStringLiteral("FILE"));
    const QCommandLineOption gallery(QStringLiteral("gallery"),
                                     QStringLiteral("all nineteen patterns as labelled thumbnails in one picture"));
    QCommandLineOption bandRows(QStringLiteral("band-rows"), QStringLiteral("rows per band"), QStringLiteral("N"));
    bandRows.setFlags(QCommandLineOption::HiddenFromHelp);
    const QCommandLineOption resume(QStringLiteral("resume"), QStringLiteral("keep finished bands and resume"));
    const QCommandLineOption part(QStringLiteral("part"), QStringLiteral("render part K of N of the bands"),
                                  QStringLiteral("K/N"));
    const QCommandLineOption toPlace(QStringLiteral("to-place"), QStringLiteral("the film's last place"),
                                     QStringLiteral("PLACE"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("the film's length"),
                                     QStringLiteral("T"));
    const QCommandLineOption fps(QStringLiteral("fps"), QStringLiteral("the film's frames per second"),
                                 QStringLiteral("F"));
    const QCommandLineOption join(QStringLiteral("join"), QStringLiteral("assemble a PNG from its parts"),
                                  QStringLiteral("FILE.png"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("this help"));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("the program's version"));
    const QList<QCommandLineOption> all = {x,
                                           y,
                                           size,
                                           zoom,
                                           bright,
                                           density,
                                           samples,
                                           from,
                                           place,
                                           printPlaceOption,
                                           printFormulaOption,
                                           formulaOption,
                                           threads,
                                           output,
                                           gallery,
                                           bandRows,
                                           resume,
                                           part,
                                           join,
                                           toPlace,
                                           seconds,
                                           fps,
                                           help,
                                           version};
    parser.addOptions(all);

    if (!parser.parse(arguments)) {
        std::string why = parser.errorText().toStdString();
        if (!why.empty())
            why[0] = char(std::tolower(static_cast<unsigned char>(why[0])));
        if (!parser.unknownOptionNames().isEmpty()) {
            QStringList names;
            for (const QCommandLineOption& o : all)
                if (!(o.flags() & QCommandLineOption::HiddenFromHelp))
                    names << o.names();
            const std::string near = nearestOption(parser.unknownOptionNames().front().toStdString(), names);
            if (!near.empty())
                why += " Did you mean " + near + "?";
        }
        return usageError(why);
    }
    if (parser.isSet(help))
        return Exit{0, std::string(kHelp) + "\npatterns: " + patternNames()};
    if (parser.isSet(version))
        return Exit{0, std::string("glimra-render ") + GLIMRA_VERSION};

    if (parser.isSet(printPlaceOption)) {
        if (!parser.positionalArguments().isEmpty())
            return usageError("--print-place takes no pattern");
        return printPlace(parser.value(printPlaceOption));
    }

    if (parser.isSet(printFormulaOption)) {
        if (!parser.positionalArguments().isEmpty())
            return usageError("--print-formula takes no other pattern");
        const std::string name = parser.value(printFormulaOption).toStdString();
        std::string_view text = formula::builtinText(name);
        if (text.empty())
            return usageError("unknown pattern '" + name + "'; patterns: " + patternNames() + " (or an index 0 to 18)");
        // The program's own text; the line end is the one printing adds.
        if (text.back() == '\n')
            text.remove_suffix(1);
        return Exit{0, std::string(text)};
    }

    Job job;
    if (parser.isSet(join)) {
        if (!parser.positionalArguments().isEmpty() || parser.isSet(output) || parser.isSet(part))
            return usageError("--join takes only the picture the parts belong to");
        job.join = true;
        job.output = parser.value(join).toStdString();
        return job;
    }
    job.gallery = parser.isSet(gallery);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return usageError("more than one pattern given: " + positional[1].toStdString());
    if (job.gallery && (!positional.isEmpty() || parser.isSet(formulaOption)))
        return usageError("--gallery takes no pattern");
    if (!positional.isEmpty() && parser.isSet(formulaOption))
        return usageError("give a pattern or --formula, not both");

    // The pattern each source names, the last one given winning; a formula is
    // compiled as soon as it is read, and one that is refused paints nothing.
    auto useFormula = [&](std::string text, const std::string& where) -> std::optional<Exit> {
        formula::Error error;
        std::unique_ptr<formula::Formula> compiled = formula::Formula::compile(text, error);
        if (!compiled)
            return Exit{2, "glimra-render: " + where + ": " + error.text()};
        job.formula = std::move(compiled);
        job.pattern = &job.formula->pattern();
        job.recipe.formula = std::move(text);
        return std::nullopt;
    };
    auto useBuiltin = [&](const Pattern* pattern) {
        job.formula.reset();
        job.recipe.formula.clear();
        job.pattern = pattern;
    };
    if (parser.isSet(from)) {
        QString why;
        const auto recipe = readRecipe(parser.value(from), &why);
        if (!recipe)
            return usageError(why.toStdString());
        job.recipe = *recipe;
        if (!recipe->formula.empty()) {
            if (auto e = useFormula(recipe->formula, parser.value(from).toStdString() + "'s formula"))
                return *e;
        } else {
            useBuiltin(findPattern(recipe->pattern));
            if (!job.pattern)
                return usageError(parser.value(from).toStdString() + " names an unknown pattern");
        }
    }
    if (parser.isSet(place)) {
        std::string why;
        const auto p = parsePlace(parser.value(place).toStdString(), &why, PlaceKinds::PatternsAndFormulas);
        if (!p)
            return usageError("--place: " + why);
        job.recipe.texts = p->texts;
        if (!p->formula.empty()) {
            if (auto e = useFormula(p->formula, "--place's formula"))
                return *e;
        } else {
            useBuiltin(findPattern(p->pattern));
        }
    }
    if (!positional.isEmpty()) {
        useBuiltin(findPattern(positional[0].toStdString()));
        if (!job.pattern)
            return usageError("unknown pattern '" + positional[0].toStdString() + "'; patterns: " + patternNames() +
                              " (or an index 0 to 18)");
    }
    if (parser.isSet(formulaOption)) {
        QString why;
        const QString file = parser.value(formulaOption);
        auto text = readFormulaFile(file, &why);
        if (!text)
            return Exit{2, "glimra-render: " + why.toStdString()};
        if (auto e = useFormula(std::move(*text), file == QStringLiteral("-") ? "standard input" : file.toStdString()))
            return *e;
    }
    if (!job.pattern && !job.gallery)
        return usageError("no pattern given; patterns: " + patternNames());
    if (job.pattern)
        job.recipe.pattern = job.pattern->name;

    const std::pair<const QCommandLineOption*, std::string PatternTexts::*> texts[] = {
        {&x, &PatternTexts::x},       {&y, &PatternTexts::y},           {&size, &PatternTexts::size},
        {&zoom, &PatternTexts::zoom}, {&bright, &PatternTexts::bright},
    };
    for (const auto& [option, text] : texts)
        if (parser.isSet(*option))
            job.recipe.texts.*text = parser.value(*option).toStdString();

    struct Whole {
        const QCommandLineOption& option;
        int least, most;
        const char* what;
    };
    auto whole = [&](const Whole& w, auto store) -> std::optional<Exit> {
        if (!parser.isSet(w.option))
            return std::nullopt;
        const auto v = wholeNumber(parser.value(w.option), w.least, w.most);
        if (!v)
            return usageError(std::string(w.what));
        store(*v);
        return std::nullopt;
    };
    if (auto e =
            whole({threads, 1, 256, "--threads takes a whole number from 1 to 256"}, [&](int v) { job.threads = v; }))
        return *e;
    static const std::string densityRange = "--density takes a whole number from 1 to " + std::to_string(kMaxDensity);
    static const std::string samplesRange = "--samples takes a whole number from 1 to " + std::to_string(kMaxSamples);
    if (auto e = whole({density, 1, kMaxDensity, densityRange.c_str()}, [&](int v) { job.recipe.density = v; }))
        return *e;
    if (auto e = whole({samples, 1, kMaxSamples, samplesRange.c_str()}, [&](int v) { job.recipe.samples = v; }))
        return *e;
    if (auto e =
            whole({bandRows, 1, 1 << 20, "--band-rows takes a whole number from 1"}, [&](int v) { job.bandRows = v; }))
        return *e;

    noteLenient(job.recipe.texts, "", job.warnings);

    job.output = parser.value(output).toStdString();
    if (job.output.empty())
        return usageError("missing -o FILE");
    job.film = parser.isSet(toPlace);
    if (job.film != parser.isSet(seconds) || job.film != parser.isSet(fps))
        return usageError("a film takes --to-place, --seconds and --fps together");
    if (job.film) {
        if (job.gallery || parser.isSet(part))
            return usageError("a film is made of one pattern, in one piece");
        const QString to = parser.value(toPlace);
        std::string toPattern, toFormula;
        if (to.startsWith(QStringLiteral("glimra:"), Qt::CaseInsensitive)) {
            std::string why;
            const auto p = parsePlace(to.toStdString(), &why, PlaceKinds::PatternsAndFormulas);
            if (!p)
                return usageError("--to-place: " + why);
            job.to = p->texts;
            toPattern = p->pattern;
            toFormula = p->formula;
            // A film keeps one size: a last place that names none has the first's.
            const QStringList keys = to.section(QLatin1Char('?'), 1).split(QLatin1Char('&'));
            if (!std::any_of(keys.begin(), keys.end(),
                             [](const QString& k) { return k.section(QLatin1Char('='), 0, 0) == u"size"; }))
                job.to.size = job.recipe.texts.size;
        } else {
            QString why;
            const auto recipe = readRecipe(to, &why);
            if (!recipe)
                return usageError("--to-place: " + why.toStdString());
            job.to = recipe->texts;
            toPattern = recipe->pattern;
            toFormula = recipe->formula;
        }
        if (job.formula && (toPattern != job.recipe.pattern || toFormula != job.recipe.formula))
            return usageError(
                "--to-place shows another pattern or formula than the first place's formula; a film "
                "stays in one pattern");
        if (!job.formula && findPattern(toPattern) != job.pattern)
            return usageError("--to-place shows " + toPattern + " and the first place " + job.pattern->name +
                              "; a film stays in one pattern");
        noteLenient(job.to, "--to-place's ", job.warnings);
        const auto t = strictNumber(parser.value(seconds).toStdString());
        const auto f = strictNumber(parser.value(fps).toStdString());
        if (!t || !f || !(*t > 0) || !(*f > 0) || !(*t * *f < 100000))
            return usageError("--seconds and --fps take positive numbers, under 100000 frames in all");
        job.frames = int(std::floor(*t * *f + 0.5));
        if (job.frames < 2)
            return usageError("a film has at least 2 frames (--seconds x --fps)");
        const QString o = QString::fromStdString(job.output);
        const bool encoded = !filmFormat(job.output).empty();
        if (!encoded && !o.endsWith(QLatin1Char('/')) && !QFileInfo(o).isDir())
            return usageError("a film is FILM.mp4, FILM.webm or a folder of frames (-o FOLDER/)");
        job.fps = *f;
        job.resume = parser.isSet(resume);
        if (encoded && job.resume)
            return usageError("--resume continues a film written as a folder of frames, not an encoded one");
        return job;
    }
    if (pictureFormat(QString::fromStdString(job.output)).isEmpty())
        return usageError("FILE must end in a picture format's suffix (.png, .ppm, .bmp, ...)");
    job.resume = parser.isSet(resume);
    if (parser.isSet(part)) {
        const QStringList kn = parser.value(part).split(QLatin1Char('/'));
        const auto n = kn.size() == 2 ? wholeNumber(kn[1], 1, 1 << 20) : std::nullopt;
        const auto k = n ? wholeNumber(kn[0], 1, *n) : std::nullopt;
        if (!k)
            return usageError("--part takes K/N, two whole numbers with 1 <= K <= N");
        job.part = PartOf{*k, *n};
    }
    if ((job.resume || job.part.any()) && (job.gallery || pictureFormat(QString::fromStdString(job.output)) != "png"))
        return usageError(std::string(job.resume ? "--resume" : "--part") + " is for PNG pictures of a pattern");
    if (job.resume && job.part.any())
        return usageError("--resume and --part cannot be given together");
    return job;
}

}  // namespace glimra
