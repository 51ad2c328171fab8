#pragma once

// Seconds until the next tracker announce after tracker traffic: a finished download needs
// peers least, a well-connected one can wait, a poorly connected one asks again soon.
int AnnounceDelaySeconds(bool complete, int peerCount);
