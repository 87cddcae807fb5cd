// glimra-render: renders one pattern to a picture file, pixel for pixel what
// the window paints into its Canvas rectangle (image pixel (x, y) is Canvas
// pixel (161 + x, 51 + y)), or denser, or larger than any window.
#include "options.h"
#include "picture/picture_file.h"
#include "render_job.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

#include <vector>

namespace {

// What each signal was handled by before, for a fault to go back to.
struct sigaction g_before[NSIG];

// Raised by the processor for this program's own fault, rather than sent.
bool isFault(int signal, const siginfo_t* info)
{
    const bool synchronous =
        signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE || signal == SIGSYS;
    return synchronous && info && info->si_code > 0;
}

// The first signal asks the render to stop; the program then removes its
// unfinished file and exits. A second one does that at once. A fault of the
// program's own removes the file and goes on to whatever handled it before
// (the core dump, a sanitizer's report); so does abort().
extern "C" void stopRequested(int signal, siginfo_t* info, void*)
{
    if (isFault(signal, info) || (signal == SIGABRT && info && info->si_pid == ::getpid())) {
        glimra::OutputFile::removePendingFromSignal();
        sigaction(signal, &g_before[signal], nullptr);
        return;
    }
    if (glimra::g_stopSignal != 0) {
        glimra::OutputFile::removePendingFromSignal();
        ::_exit(128 + signal);
    }
    glimra::g_stopSignal = signal;
}

// Every signal that would end the program: SIGKILL cannot be caught, and a
// debugger's SIGTRAP is left to it; what they leave behind a later write to
// the same file removes.
void catchStopSignals()
{
    struct sigaction action {};
    action.sa_sigaction = stopRequested;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    std::vector<int> stopping = {SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGABRT,  SIGBUS,  SIGFPE,
                                 SIGUSR1, SIGSEGV, SIGUSR2, SIGALRM, SIGTERM,  SIGXCPU, SIGVTALRM,
                                 SIGPROF, SIGIO,   SIGPWR,  SIGSYS,  SIGSTKFLT};
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s)
        stopping.push_back(s);
    for (int s : stopping)
        sigaction(s, &action, &g_before[s]);
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
        // Help, the version and a place are the program's own words; a
        // refusal may quote what it was given.
        std::fprintf(exit->status == 0 ? stdout : stderr, "%s\n",
                     (exit->status == 0 ? exit->message : glimra::printable(exit->message)).c_str());
        return exit->status;
    }
    for (const std::string& warning : std::get<glimra::Job>(parsed).warnings)
        std::fprintf(stderr, "%s\n", glimra::printable(warning).c_str());
    catchStopSignals();
    return glimra::runJob(std::get<glimra::Job>(parsed));
}
