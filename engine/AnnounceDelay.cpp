#include "engine/AnnounceDelay.h"

int AnnounceDelaySeconds(bool complete, int peerCount) {
    if (complete) {
        return 420;
    }
    if (peerCount >= 12) {
        return 300;
    }
    return 50;
}
