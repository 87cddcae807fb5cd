// A film file encoded frame by frame: MP4 with H.264 or WebM with VP9.
#pragma once

#include <QImage>

#include <cstdio>
#include <memory>
#include <string>

namespace glimra {

// "mp4" or "webm" for a film file's name, else empty.
std::string filmFormat(const std::string& path);

class FilmEncoder {
public:
    FilmEncoder();
    ~FilmEncoder();
    FilmEncoder(const FilmEncoder&) = delete;
    FilmEncoder& operator=(const FilmEncoder&) = delete;

    // Writes into `out` (which must allow seeking back: the MP4 index is
    // written last); `format` as filmFormat gives. The encoder runs on the
    // calling thread only.
    bool open(FILE* out, const std::string& format, int width, int height, double fps, std::string* why);
    bool add(const QImage& frame, std::string* why);
    bool finish(std::string* why);

private:
    bool drain(bool flushing, std::string* why);
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace glimra
