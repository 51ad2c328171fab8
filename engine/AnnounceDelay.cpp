#include "engine/AnnounceDelay.h"

#include "engine/EngineEvent.h"

int AnnounceDelaySeconds(bool complete, int peerCount) {
    if (complete) {
        return 420;
    }
    if (peerCount >= 12) {
        return 300;
    }
    return 50;
}

bool ReschedulesAnnounce(const EngineEvent& event) {
    return event.code == EngineEvent::Code::TrackerError ||
           event.code == EngineEvent::Code::TrackerWarning ||
           (event.code == EngineEvent::Code::TrackerReply &&
            event.message != QLatin1String("Got peers from DHT"));
}
