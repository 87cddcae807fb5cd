// What the picture renderer is asked and what it answers: the request, the
// size it makes, where a fault stopped the scan and how the render ended.
// Apart from renderer.h, so that the renderer's own rooms (the plan, the band
// loop, the estimate) read these without reaching back to what orchestrates
// them.
#pragma once

#include "patterns/patterns.h"
#include "picture/band_file.h"
#include "picture/picture_file.h"
#include "picture/pixels.h"

#include <climits>
#include <functional>
#include <string>

namespace glimra {

// Column or row m (0-based) of a picture denser than the plain one, or with
// several samples per pixel: origin + M / density for the 1-based M, each
// sample (0 .. samples - 1) evenly spaced inside its pixel around that. Every
// dense picture, in a file or in the window, is counted this way.
double denseCounter(double origin, long m, int density, int samples, int sample);

// What to render and where to.
struct PictureRequest {
    const Pattern* pattern = nullptr;
    PictureRecipe recipe;  // the five texts, density and samples (and the pattern's name)
    std::string output;    // its suffix chooses the format
    int threads = 0;       // 0: one per core
    long bandRows = 0;     // rows per band; 0: chosen by memory; set: in bands whatever the size
    // Keep finished bands beside the target and take those a stopped or
    // killed render of the same picture kept (PNG in bands only).
    bool resume = false;
    // Render only this part's bands, into the part file beside the target.
    PartOf part;
    // Set: the picture is rendered into these pixels instead of a file
    // (`output` is then not used).
    Pixels* into = nullptr;
    // Told the share done so far, 0 to 1, now and then.
    std::function<void(double done)> progress;
    // Asked after every column: true ends the render, and no file is written.
    std::function<bool()> stop;
};

// The first pixel where the arithmetic faulted, in scan order (column by
// column, each top to bottom).
struct FaultAt {
    long m = LONG_MAX;
    long n = LONG_MAX;
    bool found() const { return m != LONG_MAX; }
    bool before(long mm, long nn) const { return mm < m || (mm == m && nn < n); }
    void note(long mm, long nn)
    {
        if (before(mm, nn)) {
            m = mm;
            n = nn;
        }
    }
    // A pixel the scan never reached, because it lies at or after the fault.
    bool covers(long mm, long nn) const { return found() && !before(mm, nn); }
};

// The size a request makes, or why it makes none.
struct PicturePlan {
    enum class Verdict {
        Render,          // width x height pixels
        NothingToPaint,  // a size below 1
        Refused,         // too large, or offsets the scan cannot run through; `why` says which
    };
    Verdict verdict = Verdict::Render;
    std::string why;
    const Pattern* pattern = nullptr;
    long width = 0;
    long height = 0;
    int threads = 1;
    bool derives = true;  // false: deriving the values faults, before any pixel
};

struct PictureResult {
    enum class Status {
        Written,
        NothingToPaint,
        Refused,      // `why` says why; nothing written
        CannotWrite,  // `why` says why; nothing written
        Stopped,      // the stop function asked for it; nothing written
    };
    Status status = Status::Written;
    std::string why;
    PicturePlan plan;
    FaultAt fault;          // where an arithmetic fault ended the scan
    bool rendered = false;  // the scan ran to its end (the file may still have failed)
    double seconds = 0;
    long keptBands = 0;  // with resume: bands an earlier run had finished

    // "completed", or where the fault stopped the scan.
    std::string ending() const;
};

}  // namespace glimra
