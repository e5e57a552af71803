#pragma once
// The test sound server's address as scripts/soundserver leaves it for the
// benchmarks that play through it; "" when none runs.
#include <cstdlib>
#include <fstream>
#include <string>

namespace murrel::bench {

inline std::string sound_server_address() {
    const char* dir = std::getenv("MURREL_SOUND_DIR");
    std::ifstream f(std::string(dir ? dir : "/tmp/murrel-sound") + "/server");
    std::string a;
    std::getline(f, a);
    return a;
}

}  // namespace murrel::bench
