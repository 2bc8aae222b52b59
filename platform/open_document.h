// Opening a document in the desktop's viewer.
//
// openDocument starts "xdg-open" with the path as its one argument (no
// shell, so the path needs no quoting) and returns at once: the viewer runs
// detached from the host, which neither waits for it nor has to collect it.
// Main thread only.
#pragma once

#include <string>

// false when the path is empty or no process could be started; whether the
// desktop then finds a viewer is not reported.
bool openDocument(const std::string& path);
