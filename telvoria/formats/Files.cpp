// Motion and actor files are not available in this build yet: every call fails cleanly.
#include "suitlib/SuitLib.h"

int GyroReadActorData(const char*, ActorData*) {
    return 0;
}
int GyroWriteActorData(const char*, const ActorData*, int) {
    return 0;
}
int GyroReadTL(const char*, Skeleton*, ActorData*) {
    return 0;
}
int GyroWriteTL(const char*, Skeleton*, const ActorData*) {
    return 0;
}
int GyroWriteSIMI(const char*, Skeleton*, const char*) {
    return 0;
}
