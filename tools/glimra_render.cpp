// glimra-render: renders one pattern to a picture file, pixel for pixel what
// the window paints into its Canvas rectangle (image pixel (x, y) is Canvas
// pixel (161 + x, 51 + y)), or denser, or larger than any window.
#include "options.h"
#include "picture/picture_file.h"
#include "render_job.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

// The first signal asks the render to stop; the program then removes its
// unfinished file and exits. A second one does that at once.
extern "C" void stopRequested(int signal)
{
    if (glimra::g_stopSignal != 0) {
        glimra::OutputFile::removePendingFromSignal();
        ::_exit(128 + signal);
    }
    glimra::g_stopSignal = signal;
}

void catchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = stopRequested;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &action, nullptr);
    // A file size limit then shows as a failed write, which is handled,
    // instead of killing the program with its temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    // A reader that goes away shows as a failed write too.
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv)
{
    const auto parsed = glimra::parseCommandLine(argc, argv);
    if (const auto* exit = std::get_if<glimra::Exit>(&parsed)) {
        std::fprintf(exit->status == 0 ? stdout : stderr, "%s\n", exit->message.c_str());
        return exit->status;
    }
    catchStopSignals();
    return glimra::runJob(std::get<glimra::Job>(parsed));
}
