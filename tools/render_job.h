// Running what a glimra-render command line asks for: one picture, plain or
// dense or sampled, of any size up to 65536 on a side, or the gallery.
#pragma once

#include "options.h"

#include <csignal>

namespace glimra {

// Set by the signal handler: the signal that asked the program to stop.
extern volatile std::sig_atomic_t g_stopSignal;

// The exit status: 0 written (or nothing to paint), 1 the file could not be
// written, 2 refused, 128 + the signal when interrupted.
int runJob(const Job& job);

}  // namespace glimra
