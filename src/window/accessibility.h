// The window for assistive technology and the keyboard: what each control is
// called and what it does, the labels that act as buttons, the picture area's
// description, Enter and Return on buttons, and the keys that reach what only
// the mouse reached. None of it changes what is seen or what a click does.
#pragma once

#include <QString>

class qTac;

namespace glimra {

// Names and describes every control, hides the panels, makes Enter and Return
// press the focused button and adds the window's keyboard shortcuts. Once,
// when the window is built.
void makeAccessible(qTac& window);

// What the picture area shows, in words: the pattern and picture size of the
// last render and whether it is painting, finished or halted.
QString pictureDescription(const qTac& window);

}  // namespace glimra
