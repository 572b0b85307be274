#include "ui/GuiPause.h"

#include <QThread>

#include <atomic>

namespace GuiPause {

namespace {
std::atomic<int>& scale()
{
    static std::atomic<int> percent{100};
    return percent;
}
} // namespace

void pause(int ms)
{
    const long scaled = long(ms) * scale().load() / 100;
    if (scaled > 0)
        QThread::msleep(static_cast<unsigned long>(scaled));
}

void setScalePercent(int percent)
{
    scale().store(percent < 0 ? 0 : percent);
}

int scalePercent()
{
    return scale().load();
}

} // namespace GuiPause
