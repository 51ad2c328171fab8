// Compiled without engine/'s definition by a test that expects the include to be refused.
#include "engine/EngineInternals.h"
