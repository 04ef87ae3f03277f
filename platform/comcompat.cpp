#include "platform/comcompat.h"
