#include "audio/devices/owner_thread.h"

#include <cstdio>
#include <cstdlib>

namespace murrel {

void owner_thread_violated(const char* entry) noexcept {
    std::fprintf(stderr, "murrelphonic: %s called from a thread other than the one that owns it\n", entry);
    std::fflush(stderr);
    std::abort();
}

}  // namespace murrel
