// The command line's seam for host-native fuzzing: plain malloc for the
// vector and recorders for every effect.
#include "FuzzSeam.h"

#include "cmdline/CommandLineSeam.h"

#include <algorithm>
#include <cstdlib>

std::vector<std::string> RecordedEffects;
std::vector<FuzzBlock> LiveBlocks;

namespace {
void* Allocate(std::size_t bytes) {
    void* block = std::malloc(bytes);
    LiveBlocks.push_back({block, bytes});
    return block;
}
void Release(void* block) {
    auto found = std::find_if(LiveBlocks.begin(), LiveBlocks.end(),
                              [block](const FuzzBlock& b) { return b.address == block; });
    if (found == LiveBlocks.end()) {
        std::abort(); // released what was never allocated, or twice
    }
    LiveBlocks.erase(found);
    std::free(block);
}
void Box(const char*, const char* caption, unsigned style) {
    RecordedEffects.push_back("box " + std::string(caption) + " " + std::to_string(style));
}
void Map(const char* name) {
    RecordedEffects.push_back("map " + std::string(name));
}
void Check(int id, int on) {
    RecordedEffects.push_back("check " + std::to_string(id) + " " + std::to_string(on));
}
int Servo(int id) {
    RecordedEffects.push_back("servo " + std::to_string(id));
    return 1;
}
void Close() {
    RecordedEffects.push_back("close");
}
} // namespace

CommandLineSeam CommandLineCalls = {Allocate, Release, Box, Map, Check, Servo, Close};
