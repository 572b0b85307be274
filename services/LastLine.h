#pragma once
// Finds where the last line of a file starts, reading only its tail, from the end
// back in blocks: a kill or a power loss can leave a cut row or a run of NUL bytes
// of any length after the last line end, and the files are far too large to read
// whole. Any thread; the caller owns the open file.

#include <QtGlobal>

class QFile;

namespace LastLine {

// The offset just after the file's last line end ('\n'), 0 when it has none, or
// -1 when the tail could not be read. The file is open for reading; its position
// is left anywhere.
qint64 start(QFile& file);

} // namespace LastLine
