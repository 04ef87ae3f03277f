#ifndef KELVORA_SPEEDWINDOW_H
#define KELVORA_SPEEDWINDOW_H

#include <QtGlobal>

// Byte counts sampled every 500 ms, the newest ten kept; the rate is the average over the last
// up to five intervals.
class SpeedWindow
{
public:
    static constexpr int capacity = 10;
    static constexpr int intervalMs = 500;

    void clear() { count = 0; }
    void add(qint64 bytes);
    int size() const { return count; }
    // Bytes per second; 0 with fewer than two samples.
    qint64 rate() const;

private:
    qint64 samples[capacity] = {};
    int count = 0;
};

#endif
