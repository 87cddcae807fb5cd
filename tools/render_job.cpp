#include "render_job.h"

#include "picture/film.h"
#include "picture/gallery.h"
#include "picture/join.h"
#include "picture/renderer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace glimra {

volatile std::sig_atomic_t g_stopSignal = 0;

namespace {

using Clock = std::chrono::steady_clock;

bool interrupted() { return g_stopSignal != 0; }

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A one-line progress bar on a terminal, for renders that take a while.
class Progress {
public:
    Progress() : shown_(::isatty(STDERR_FILENO) == 1), start_(Clock::now()) {}
    ~Progress() { clear(); }

    void update(double done, int framesDone = -1, int frames = 0)
    {
        if (!shown_)
            return;
        const double elapsed = secondsSince(start_);
        if (elapsed < 1 || elapsed - lastDrawn_ < 0.1 || done <= 0)
            return;
        lastDrawn_ = elapsed;
        const int width = 30;
        const int filled = std::max(0, std::min(int(done * width), width));
        const double left = elapsed * (1 - done) / done;
        if (framesDone >= 0)
            std::fprintf(stderr, "\r[%.*s%*s] frame %d of %d  %.0f s left ", filled, "##############################",
                         width - filled, "", framesDone, frames, left);
        else
            std::fprintf(stderr, "\r[%.*s%*s] %3d%%  %.0f s left ", filled, "##############################",
                         width - filled, "", int(done * 100), left);
        std::fflush(stderr);
        drawn_ = true;
    }

    void clear()
    {
        if (drawn_)
            std::fputs("\r\033[K", stderr);
        drawn_ = false;
    }

private:
    bool shown_;
    bool drawn_ = false;
    Clock::time_point start_;
    double lastDrawn_ = 0;
};

PictureRequest requestOf(const Job& job, Progress& progress)
{
    PictureRequest request;
    request.pattern = job.pattern;
    request.recipe = job.recipe;
    request.output = job.output;
    request.threads = job.threads;
    request.bandRows = job.bandRows;
    request.resume = job.resume;
    request.part = job.part;
    request.progress = [&progress](double done) { progress.update(done); };
    request.stop = interrupted;
    return request;
}

// One line on standard error; whatever in it came from outside is shown
// literally.
void say(const std::string& line) { std::fprintf(stderr, "%s\n", printable(line).c_str()); }

int stoppedBySignal()
{
    std::fprintf(stderr, "glimra-render: interrupted; no file written\n");
    return 128 + int(g_stopSignal);
}

// The exit status of a result that wrote nothing, after saying why.
int failed(const PictureResult& result, const Job& job)
{
    switch (result.status) {
    case PictureResult::Status::NothingToPaint:
        say(std::string(result.plan.pattern->name) + ": nothing to paint (size " + job.recipe.texts.size + ")");
        return 0;
    case PictureResult::Status::Refused: say("glimra-render: " + result.why); return 2;
    case PictureResult::Status::CannotWrite: say("glimra-render: " + result.why); return 1;
    case PictureResult::Status::Stopped: return stoppedBySignal();
    case PictureResult::Status::Written: break;
    }
    return 0;
}

int renderOne(const Job& job)
{
    Progress progress;
    // A run stopped before it finished a band leaves no empty folder behind;
    // only one it made, and only when empty (rmdir removes nothing else).
    const std::string kept = resumeFolder(job.output);
    struct stat before {};
    const bool keptBefore = !job.resume || ::lstat(kept.c_str(), &before) == 0;
    const PictureResult result = renderPicture(requestOf(job, progress));
    if (!keptBefore)
        ::rmdir(kept.c_str());
    progress.clear();
    if (result.rendered) {
        const PicturePlan& plan = result.plan;
        std::string extra;
        if (job.recipe.density != 1 || job.recipe.samples != 1)
            extra = " (density " + std::to_string(job.recipe.density) + ", " + std::to_string(job.recipe.samples) +
                    "x" + std::to_string(job.recipe.samples) + " samples)";
        if (result.keptBands > 0)
            extra += ", " + std::to_string(result.keptBands) + " band" + (result.keptBands == 1 ? "" : "s") +
                     " kept from before";
        if (job.part.any())
            extra += ", part " + std::to_string(job.part.k) + " of " + std::to_string(job.part.n);
        std::fprintf(stderr, "%s: %ldx%ld%s, %d thread%s, %.3f s, %s\n", plan.pattern->name, plan.width, plan.height,
                     extra.c_str(), plan.threads, plan.threads == 1 ? "" : "s", result.seconds,
                     result.ending().c_str());
        if (job.part.any() && result.fault.found())
            std::fprintf(stderr,
                         "glimra-render: a fault ends the whole scan, so these parts cannot be joined; "
                         "render the picture in one piece\n");
    }
    return failed(result, job);
}

int renderGalleryFile(const Job& job)
{
    Progress progress;
    PictureRequest request = requestOf(job, progress);
    request.progress = nullptr;  // thumbnails are quick, and each would start the bar anew
    const auto made = renderGallery(request);
    if (const auto* result = std::get_if<PictureResult>(&made))
        return failed(*result, job);
    const Pixels& gallery = std::get<Pixels>(made);
    QString why;
    if (!writePicture(gallery, QString::fromStdString(job.output), nullptr, &why, interrupted)) {
        if (interrupted())
            return stoppedBySignal();
        say("glimra-render: cannot write " + job.output + ": " + why.toStdString());
        return 1;
    }
    std::fprintf(stderr, "gallery: %dx%d, %d patterns\n", gallery.width(), gallery.height(), kPatternCount);
    return 0;
}

int renderFilmFolder(const Job& job)
{
    Progress progress;
    FilmRequest request;
    request.pattern = job.pattern;
    request.start = job.recipe;
    request.end = job.to;
    request.frames = job.frames;
    request.fps = job.fps;
    request.output = job.output;
    request.threads = job.threads;
    request.resume = job.resume;
    request.stop = interrupted;
    request.progress = [&](int done, int frames) { progress.update(double(done) / double(frames), done, frames); };
    const FilmResult r = renderFilm(request);
    progress.clear();
    switch (r.status) {
    case FilmResult::Status::Written: break;
    case FilmResult::Status::Stopped:
        std::fprintf(stderr, "glimra-render: interrupted; %s\n",
                     job.resume ? "the frames done are kept for --resume" : "no film written");
        return 128 + int(g_stopSignal);
    case FilmResult::Status::Refused: say("glimra-render: " + r.why); return 2;
    case FilmResult::Status::CannotWrite: say("glimra-render: " + r.why); return 1;
    }
    std::fprintf(stderr, "%s: film of %d frames, %ldx%ld, %.3f s (%.2f frames/s)%s\n", job.pattern->name, job.frames,
                 r.width, r.height, r.seconds, r.seconds > 0 ? (job.frames - r.kept) / r.seconds : 0.0,
                 r.kept > 0 ? (", " + std::to_string(r.kept) + " frames kept from before").c_str() : "");
    return 0;
}

int joinFile(const Job& job)
{
    std::string why;
    long width = 0, height = 0;
    int parts = 0;
    if (!joinParts(job.output, interrupted, &why, &width, &height, &parts)) {
        if (interrupted())
            return stoppedBySignal();
        say("glimra-render: " + why);
        return 1;
    }
    say(job.output + ": " + std::to_string(width) + "x" + std::to_string(height) + ", joined from " +
        std::to_string(parts) + " part" + (parts == 1 ? "" : "s"));
    return 0;
}

}  // namespace

int runJob(const Job& job)
{
    if (job.join)
        return joinFile(job);
    if (job.film)
        return renderFilmFolder(job);
    return job.gallery ? renderGalleryFile(job) : renderOne(job);
}

}  // namespace glimra
