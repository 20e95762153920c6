#pragma once

#if defined(QUORVEL_CLIENT_LIBRARY)
#define QUORVEL_EXPORT __attribute__((visibility("default")))
#else
#define QUORVEL_EXPORT
#endif

// The client's one entry point: runs the whole client with the process's command line
// and returns its exit status.
extern "C" QUORVEL_EXPORT int libMain(int& argc, char** argv);
