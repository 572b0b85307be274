#pragma once
// Ends the calling process with the one that started it (a test that crashed, a
// run script that was killed), so that no orphan keeps a name published or a
// pipe open. The end comes as SIGTERM, which a QuitOnSignal turns into a quit.
// Call first thing in main(), from the main thread.

// False when the parent has already gone: the caller ends at once.
bool endWithParent();
