#include "transfer/speedwindow.h"

#include <algorithm>

void SpeedWindow::add(qint64 bytes)
{
    if (count == capacity) {
        std::copy(samples + 1, samples + capacity, samples);
        --count;
    }
    samples[count++] = bytes;
}

qint64 SpeedWindow::rate() const
{
    const int w = std::min(count, 6);
    if (w < 2)
        return 0;
    const qint64 newest = samples[count - 1];
    const qint64 oldest = samples[count - w];
    return (newest - oldest) * (1000 / intervalMs) / (w - 1);
}
