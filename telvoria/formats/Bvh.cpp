// BVH files are not available in this build yet: both calls fail cleanly.
#include "suitlib/SuitLib.h"

int GyroReadBVH(const char*, Skeleton*) {
    return 0;
}
int GyroWriteBVH(const char*, Skeleton*) {
    return 0;
}
