// The command line's seam for host-native fuzzing: plain malloc for the
// vector and recorders for every effect.
#include "FuzzSeam.h"

#include "cmdline/CommandLineSeam.h"

#include <algorithm>
#include <cstdlib>

std::vector<std::string> g_effects;
std::vector<FuzzBlock> g_blocks;

namespace {
void* Allocate(std::size_t bytes) {
    void* block = std::malloc(bytes);
    g_blocks.push_back({block, bytes});
    return block;
}
void Release(void* block) {
    auto found = std::find_if(g_blocks.begin(), g_blocks.end(),
                              [block](const FuzzBlock& b) { return b.address == block; });
    if (found == g_blocks.end()) {
        std::abort(); // released what was never allocated, or twice
    }
    g_blocks.erase(found);
    std::free(block);
}
void Box(const char*, const char* caption, unsigned style) {
    g_effects.push_back("box " + std::string(caption) + " " + std::to_string(style));
}
void Map(const char* name) {
    g_effects.push_back("map " + std::string(name));
}
void Check(int id, int on) {
    g_effects.push_back("check " + std::to_string(id) + " " + std::to_string(on));
}
int Servo(int id) {
    g_effects.push_back("servo " + std::to_string(id));
    return 1;
}
void Close() {
    g_effects.push_back("close");
}
} // namespace

CommandLineSeam g_commandLineSeam = {Allocate, Release, Box, Map, Check, Servo, Close};
