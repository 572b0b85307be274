#pragma once
// The pauses some commands make in the GUI thread between their steps (the
// instrument needs time to take a write before the next request). Every such
// pause goes through here, so that tests can shorten them all at once.

namespace GuiPause {

// Blocks the calling (GUI) thread for `ms` milliseconds, scaled.
void pause(int ms);

// Scale of every later pause in percent: 100 by default, 0 skips them.
void setScalePercent(int percent);
int scalePercent();

} // namespace GuiPause
