// Lets the window messages waiting for this thread run, so that long work on the main
// thread keeps the window painted and answering.
#pragma once

namespace cvl {

// Dispatches every message already queued for the calling thread and returns; a
// WM_QUIT found is posted again so the main loop still sees it.
void ProcessMessages();

}  // namespace cvl
