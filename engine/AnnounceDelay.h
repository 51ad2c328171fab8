#pragma once

struct EngineEvent;

// Seconds until the next tracker announce after tracker traffic: a finished download needs
// peers least, a well-connected one can wait, a poorly connected one asks again soon.
int AnnounceDelaySeconds(bool complete, int peerCount);

// Whether an engine event moves the next announce: a tracker's error, warning or reply, but
// not a reply that only says the DHT gave peers.
bool ReschedulesAnnounce(const EngineEvent& event);
