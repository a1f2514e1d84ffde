// ArgumentTokenizer on any input: the count, the null slot, one block of the
// promised size, and every argument inside that block.
#include "FuzzSeam.h"

#include "cmdline/ArgumentTokenizer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const char* text = input.c_str(); // stops at the first NUL, as a C string does
    const std::size_t length = std::strlen(text);

    LiveBlocks.clear();
    int count = -1;
    char** vector = ArgumentTokenizer(text, &count);
    if (vector == nullptr || LiveBlocks.size() != 1) {
        std::abort();
    }
    const char* begin = reinterpret_cast<const char*>(vector);
    const std::size_t blockSize = LiveBlocks[0].size;
    const std::size_t slots = ArgumentPointerSlots(length);
    if (blockSize != ArgumentBlockSize(length) || count < 0 ||
        static_cast<std::size_t>(count) > (length + 1) / 2 ||
        static_cast<std::size_t>(count) + 1 > slots || vector[count] != nullptr) {
        std::abort();
    }
    const char* characters = begin + slots * sizeof(char*);
    const char* previousEnd = characters;
    for (int i = 0; i < count; ++i) {
        const char* argument = vector[i];
        if (argument < previousEnd || argument >= begin + blockSize) {
            std::abort(); // outside the character area, or overlapping the one before
        }
        const void* terminator = std::memchr(argument, '\0', begin + blockSize - argument);
        if (terminator == nullptr) {
            std::abort();
        }
        previousEnd = static_cast<const char*>(terminator) + 1;
        // No argument holds a quote, and none is longer than the input.
        if (std::strchr(argument, '"') != nullptr || std::strlen(argument) > length) {
            std::abort();
        }
    }
    ReleaseArgumentVector(vector);
    if (!LiveBlocks.empty()) {
        std::abort();
    }
    return 0;
}
