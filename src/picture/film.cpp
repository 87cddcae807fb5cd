#include "picture/film.h"

#include "picture/film_encoder.h"
#include "picture/renderer.h"
#include "render/parallel.h"
#include "place/navigate.h"
#include "render/numtext.h"

#include <QFile>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace glimra {

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

std::optional<std::vector<PatternTexts>> filmPath(const Pattern& pattern, const PatternTexts& a, const PatternTexts& b,
                                                  int frames, std::string* why)
{
    auto refuse = [&](const std::string& reason) -> std::optional<std::vector<PatternTexts>> {
        *why = reason;
        return std::nullopt;
    };
    if (frames < 2)
        return refuse("a film has at least 2 frames");
    const PatternParameters pa = readParameters(a), pb = readParameters(b);
    if (pa.size != pb.size)
        return refuse("the two places have different sizes (" + a.size + " and " + b.size + "); a film keeps one size");
    const auto da = deriveChecked(pattern, pa), db = deriveChecked(pattern, pb);
    if (!da || !db)
        return refuse("one of the two places cannot be painted");
    const double ratio = pb.zoom / pa.zoom;
    if (!(ratio > 0) || !std::isfinite(ratio))
        return refuse("the zoom goes through zero or changes sign between the two places");

    std::vector<PatternTexts> out(std::size_t(frames), a);
    out.back() = b;
    const bool zooms = da->Z != db->Z;
    // The pixel both ends show the same plane point at: a counter c shows
    // c times Z, so (x0A + p) ZA = (x0B + p) ZB.
    const PicturePoint fixed{(db->x0 * db->Z - da->x0 * da->Z) / (da->Z - db->Z),
                             (db->y0 * db->Z - da->y0 * da->Z) / (da->Z - db->Z)};
    const auto extent = pictureExtent(pattern, a);
    if (!extent)
        return refuse("the first place has no picture");
    const PicturePoint centre = extent->centre();
    for (int k = 1; k + 1 < frames; ++k) {
        const double t = double(k) / double(frames - 1);
        NavigationStep step;
        if (zooms) {
            step = {fixed, fixed, std::pow(ratio, t)};
        } else {
            step = {{centre.column + t * (db->x0 - da->x0), centre.row + t * (db->y0 - da->y0)}, centre, 1};
        }
        const NavigationResult r = navigate(pattern, a, step);
        if (!r.texts)
            return refuse("frame " + std::to_string(k + 1) + " cannot be reached: " + r.why);
        out[std::size_t(k)] = *r.texts;
        out[std::size_t(k)].bright = Text(pa.bright + (pb.bright - pa.bright) * t);
    }
    return out;
}

std::string framePath(const std::string& folder, int k)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05d.png", k + 1);
    return (std::filesystem::path(folder) / name).string();
}

namespace {

// An encoded film: frames render on the pool's helpers, each on one thread,
// a few ahead of the encoder, which takes them strictly in order on this
// thread (and renders a frame itself when none is ready).
FilmResult encodeFilm(const FilmRequest& request, const std::vector<PatternTexts>& path, const std::string& format)
{
    FilmResult result;
    auto fail = [&](FilmResult::Status status, const std::string& why) {
        result.status = status;
        result.why = why;
        return result;
    };
    PictureRequest first;
    first.pattern = request.pattern;
    first.recipe = request.start;
    const PicturePlan plan = planPicture(first);
    if (plan.verdict != PicturePlan::Verdict::Render)
        return fail(FilmResult::Status::Refused,
                    plan.verdict == PicturePlan::Verdict::Refused ? plan.why : "nothing to paint");
    result.width = plan.width;
    result.height = plan.height;
    std::string why;
    // The encoder is made before the file is opened, so that a program
    // without its film module leaves nothing behind, and ends before the
    // file does, which it writes into to the last.
    OutputFile file(request.output);
    const std::unique_ptr<FilmEncoder> encoder = makeFilmEncoder(&why);
    if (!encoder)
        return fail(FilmResult::Status::Refused, why);
    if (!file.open(&why))
        return fail(FilmResult::Status::CannotWrite, why);
    if (!encoder->open(file.stream(), format, int(plan.width), int(plan.height), request.fps, &why))
        return fail(FilmResult::Status::Refused, why);

    const auto start = Clock::now();
    const int threads = request.threads > 0 ? request.threads : parallel::defaultThreadCount();
    const int helpers = std::max(0, threads - 1);
    const std::size_t ahead = std::size_t(std::max(2, 2 * threads));
    auto renderFrame = [&](long k, Pixels& out) {
        PictureRequest picture;
        picture.pattern = request.pattern;
        picture.recipe = request.start;
        picture.recipe.texts = path[std::size_t(k)];
        picture.threads = 1;
        picture.into = &out;
        picture.stop = request.stop;
        if (renderPicture(picture).status != PictureResult::Status::Written)
            out = Pixels();
        return !out.isNull();
    };
    parallel::Ordered<Pixels> frames(long(path.size()), ahead, helpers, renderFrame, [] { return Pixels(); });
    parallel::Pool* pool = helpers > 0 ? &parallel::Pool::instance() : nullptr;
    if (pool)
        pool->open(frames);
    struct Closer {
        parallel::Pool* pool;
        parallel::Work& work;
        ~Closer()
        {
            work.cancel();
            if (pool)
                pool->close(work);
        }
    } closer{pool, frames};
    for (long k = 0; k < long(path.size()); ++k) {
        const Pixels& frame = frames.take(k);
        if (frame.isNull() || (request.stop && request.stop()))
            return fail(FilmResult::Status::Stopped, "stopped");
        if (!encoder->add(frame, &why))
            return fail(FilmResult::Status::CannotWrite, "cannot write " + request.output + ": " + why);
        frames.release(k);
        if (pool)
            pool->poke(false);
        if (request.progress)
            request.progress(int(k + 1), request.frames);
    }
    if (!encoder->finish(&why))
        return fail(FilmResult::Status::CannotWrite, "cannot write " + request.output + ": " + why);
    if (!file.commit(&why))
        return fail(FilmResult::Status::CannotWrite, why);
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
}

// frame-NNNNN.png: the names this program gives frames, and that a tool
// reading frame-%05d.png takes in.
int frameNumber(const char* name)
{
    int k = 0;
    if (std::sscanf(name, "frame-%5d.png", &k) != 1 || std::strlen(name) != 15 || k < 1)
        return 0;
    for (int i = 6; i < 11; ++i)
        if (name[i] < '0' || name[i] > '9')
            return 0;
    return std::strcmp(name + 11, ".png") == 0 ? k : 0;
}

// Why a folder of frames cannot be written, or empty. Frames are written as
// new files renamed into place; a link at a frame's name or a folder others
// may plant one in would let a frame replace a file elsewhere. A folder
// holding frames of another film is refused rather than spliced into, and
// without `resume` any frames at all: nothing this run did not write is
// replaced or removed. `kept` is told which frames resume can take.
std::string checkFrameFolder(const FilmRequest& request, const std::vector<PatternTexts>& path, std::vector<bool>& kept)
{
    std::string folder = request.output;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0)
        return {};
    if (S_ISLNK(st.st_mode))
        return request.output + " is a link; a film is written into a folder of its own, not through a link";
    if (!S_ISDIR(st.st_mode))
        return request.output + " is not a folder";
    if ((st.st_uid != ::geteuid() && st.st_uid != 0) || (st.st_mode & S_IWOTH))
        return request.output + " is " + (st.st_mode & S_IWOTH ? "writable by others" : "another user's") +
               "; make a folder of your own for the frames";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return "cannot read the folder " + request.output;
    std::string problem;
    while (const dirent* entry = ::readdir(dir)) {
        const int k = frameNumber(entry->d_name);
        if (k == 0)
            continue;
        const std::string file = framePath(folder, k - 1);
        struct stat fs {};
        if (::fstatat(::dirfd(dir), entry->d_name, &fs, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(fs.st_mode)) {
            problem = file + " is " + (S_ISLNK(fs.st_mode) ? "a link" : "not a file") +
                      "; a frame is never written through it";
            break;
        }
        if (!request.resume) {
            problem = request.output + " already holds frames (" + entry->d_name +
                      "); give a new or empty folder, or --resume to go on with the same film";
            break;
        }
        if (k > request.frames) {
            problem = request.output + " holds frames of another film (" + entry->d_name + ", past this film's " +
                      std::to_string(request.frames) + ")";
            break;
        }
        PictureRecipe recipe = request.start;
        recipe.texts = path[std::size_t(k - 1)];
        QString why;
        const auto there = readRecipe(QFile::decodeName(file.c_str()), &why);
        if (!there || !(*there == recipe)) {
            problem = request.output + " holds frames of another film (" + entry->d_name + ")";
            break;
        }
        kept[std::size_t(k - 1)] = true;
    }
    ::closedir(dir);
    return problem;
}

}  // namespace

FilmResult renderFilm(const FilmRequest& request)
{
    FilmResult result;
    std::string why;
    const auto path = filmPath(*request.pattern, request.start.texts, request.end, request.frames, &why);
    if (!path) {
        result.status = FilmResult::Status::Refused;
        result.why = why;
        return result;
    }
    if (const std::string format = filmFormat(request.output); !format.empty())
        return encodeFilm(request, *path, format);
    std::vector<bool> kept(std::size_t(request.frames), false);
    if (const std::string problem = checkFrameFolder(request, *path, kept); !problem.empty()) {
        result.status = FilmResult::Status::Refused;
        result.why = problem;
        return result;
    }
    std::error_code error;
    const bool made = !std::filesystem::exists(request.output, error);
    std::filesystem::create_directories(request.output, error);
    if (error) {
        result.status = FilmResult::Status::CannotWrite;
        result.why = "cannot make the folder " + request.output + ": " + error.message();
        return result;
    }
    const auto start = Clock::now();
    std::vector<std::string> written;
    auto giveUp = [&](FilmResult::Status status, const std::string& reason) {
        // No film is left half made, unless it is to be resumed; only the
        // frames this run wrote go.
        if (!request.resume) {
            for (const std::string& f : written)
                std::filesystem::remove(f, error);
            if (made)
                std::filesystem::remove(request.output, error);
        }
        result.status = status;
        result.why = reason;
        return result;
    };
    for (int k = 0; k < request.frames; ++k) {
        PictureRecipe recipe = request.start;
        recipe.texts = (*path)[std::size_t(k)];
        const std::string file = framePath(request.output, k);
        if (kept[std::size_t(k)]) {
            ++result.kept;
            if (request.progress)
                request.progress(k + 1, request.frames);
            continue;
        }
        // Planted since the folder was checked: still not written through.
        struct stat there {};
        if (::lstat(file.c_str(), &there) == 0 && !S_ISREG(there.st_mode))
            return giveUp(FilmResult::Status::Refused, file + " is not a file; a frame is never written through it");
        PictureRequest picture;
        picture.pattern = request.pattern;
        picture.recipe = recipe;
        picture.output = file;
        picture.threads = request.threads;
        picture.stop = request.stop;
        const PictureResult r = renderPicture(picture);
        switch (r.status) {
        case PictureResult::Status::Written: break;
        case PictureResult::Status::Stopped: return giveUp(FilmResult::Status::Stopped, "stopped");
        case PictureResult::Status::NothingToPaint:
            return giveUp(FilmResult::Status::Refused, "frame " + std::to_string(k + 1) + " has nothing to paint");
        case PictureResult::Status::Refused: return giveUp(FilmResult::Status::Refused, r.why);
        case PictureResult::Status::CannotWrite: return giveUp(FilmResult::Status::CannotWrite, r.why);
        }
        written.push_back(file);
        result.width = r.plan.width;
        result.height = r.plan.height;
        if (request.progress)
            request.progress(k + 1, request.frames);
    }
    if (result.width == 0) {
        PictureRequest picture;
        picture.pattern = request.pattern;
        picture.recipe = request.start;
        picture.output = framePath(request.output, 0);
        const PicturePlan plan = planPicture(picture);
        result.width = plan.width;
        result.height = plan.height;
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
}

}  // namespace glimra
