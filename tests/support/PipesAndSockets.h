#pragma once
// Files of the kinds a path may name besides a regular file or a folder,
// for tests of what readers do with them.

#include <string>

namespace testsupport {

// A local (Unix-domain) socket bound at path, as a program that serves
// there leaves it in the file system: its descriptor, to be closed by the
// caller, or -1 with the current test failed.
int BindLocalSocket(const std::string& path);
// Lets a reader that waits in open() for the writer of the named pipe at
// path go: it gets an empty pipe. Nothing when nobody waits.
void ReleasePipeReader(const std::string& path);

} // namespace testsupport
