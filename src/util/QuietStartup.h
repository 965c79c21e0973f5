#pragma once

namespace util {

// For programs that show no window: Qt asks for the runtime directory while it
// starts, and where XDG_RUNTIME_DIR is not set (root over SSH, a service) it
// warns on every run about a directory such a program never uses. Drops that
// one warning; every other message goes where it went. Call first in main().
void dropRuntimeDirectoryWarning();

} // namespace util
