// Films: a journey from one place of a pattern to another, frame by frame.
#pragma once

#include "patterns/patterns.h"
#include "picture/picture_file.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace glimra {

// The texts of every frame of a journey from `a` to `b` in `frames` frames
// (at least 2): the first frame is `a` and the last `b` exactly; between them
// the zoom grows or shrinks by the same factor every frame, the plane point
// that both ends show at the same pixel (the zoom's fixed point) stays on
// that pixel, and the brightness changes by the same step every frame. With
// no change of zoom, the view slides at a steady speed. The size is `a`'s;
// nothing, with the reason in `why`, when the two ends have different sizes
// or a frame between them cannot be painted.
std::optional<std::vector<PatternTexts>> filmPath(const Pattern& pattern, const PatternTexts& a, const PatternTexts& b,
                                                  int frames, std::string* why);

struct FilmRequest {
    const Pattern* pattern = nullptr;
    PictureRecipe start;  // the pattern's name, the first place's texts, density and samples
    PatternTexts end;     // the last place
    int frames = 2;
    std::string output;  // a folder: one PNG per frame, frame-00001.png on; or FILM.mp4, FILM.webm
    double fps = 25;
    int threads = 0;
    bool resume = false;  // take the frames an earlier run of the same film left
    std::function<void(int framesDone, int frames)> progress;
    std::function<bool()> stop;
};

struct FilmResult {
    enum class Status { Written, Refused, CannotWrite, Stopped };
    Status status = Status::Written;
    std::string why;
    long width = 0;
    long height = 0;
    int kept = 0;  // frames an earlier run had written
    double seconds = 0;
};

// The name of frame k (0-based) in a folder.
std::string framePath(const std::string& folder, int k);

// Renders the film. A stopped run removes the frames it wrote, unless it
// resumes: then a later run with resume takes every frame that is whole and
// carries that frame's recipe, and renders only the others.
FilmResult renderFilm(const FilmRequest& request);

}  // namespace glimra
