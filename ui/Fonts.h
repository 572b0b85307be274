#pragma once

// The styles name the family "MiSans"; where it is not installed, Qt is told to
// draw it with a free family that has the Chinese glyphs. Call once after the
// application object exists.
void registerFontSubstitutions();
