#include "browse/picturestep.h"

int pictureStep(int count, int current, int step, const std::function<bool(int row)> &isPicture)
{
    if (step == 0 || current < 0 || current >= count)
        return -1;
    for (int row = current + step; row >= 0 && row < count; row += step) {
        if (isPicture(row))
            return row;
    }
    return -1;
}
