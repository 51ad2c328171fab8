#pragma once

// The program's version and the names it gives itself, fixed when it is built from the
// project's version and the names in the top CMakeLists.txt (platform/BuildInfo.cpp.in).
namespace build {

extern const int kVersionMinor;
// What the publisher's download check compares and the about box shows: the minor version.
extern const char* const kVersionText;
// The name in the user agent that trackers, peers and web seeds see.
extern const char* const kClientName;
// The user agent of the requests to the publisher's file server.
extern const char* const kFileClientName;

} // namespace build
