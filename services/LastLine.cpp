#include "services/LastLine.h"

#include <QByteArray>
#include <QFile>

namespace LastLine {

qint64 start(QFile& file)
{
    constexpr qint64 BlockBytes = 64 * 1024;
    qint64 blockEnd = file.size();
    while (blockEnd > 0) {
        const qint64 blockStart = qMax<qint64>(0, blockEnd - BlockBytes);
        if (!file.seek(blockStart))
            return -1;
        const QByteArray block = file.read(blockEnd - blockStart);
        if (block.size() != blockEnd - blockStart)
            return -1;
        const int end = block.lastIndexOf('\n');
        if (end >= 0)
            return blockStart + end + 1;
        blockEnd = blockStart;
    }
    return 0;
}

} // namespace LastLine
