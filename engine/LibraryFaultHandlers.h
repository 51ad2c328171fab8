#pragma once

// Makes libtorrent install its SIGSEGV and SIGBUS handlers now. Its memory-mapped disk back end
// installs them once per process, at the first disk access, replacing whatever was there; a
// crash handler that must stay in place installs itself after this and calls them first.
// Reads a few KiB of the program file; writes nothing.
void InstallLibraryFaultHandlers();
