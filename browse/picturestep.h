#ifndef KELVORA_PICTURESTEP_H
#define KELVORA_PICTURESTEP_H

#include <functional>

// The row a picture viewer steps to from current: the nearest row before it (step -1) or after
// it (step +1) for which isPicture holds, or -1 when there is none in that direction.
int pictureStep(int count, int current, int step, const std::function<bool(int row)> &isPicture);

#endif
