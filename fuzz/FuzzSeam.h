#pragma once
#include <cstddef>
#include <string>
#include <vector>

// The command line's effects, recorded as text ("map joy4way", "check 32778 1",
// "servo 32784", "close", "box <caption> <style>") by the fuzzers' seam.
extern std::vector<std::string> RecordedEffects;
// Every block the tokenizer allocated that is still live: address and size.
struct FuzzBlock {
    const void* address;
    std::size_t size;
};
extern std::vector<FuzzBlock> LiveBlocks;
