#include "cmdline/ArgumentTokenizer.h"

#include "cmdline/CommandLineSeam.h"

#include <cstring>

std::size_t ArgumentPointerSlots(std::size_t inputLength) {
    return (inputLength + 2) / 2 + 1;
}

std::size_t ArgumentBlockSize(std::size_t inputLength) {
    return ArgumentPointerSlots(inputLength) * sizeof(char*) + inputLength + 2;
}

static bool IsSeparator(unsigned char byte) {
    return byte == '\t' || byte == '\n' || byte == '\r' || byte == ' ';
}

char** ArgumentTokenizer(const char* text, int* count) {
    *count = 0;
    const std::size_t length = std::strlen(text);
    void* block = CommandLineCalls.allocateBlock(ArgumentBlockSize(length));
    if (block == nullptr) {
        return nullptr;
    }

    char** slots = static_cast<char**>(block);
    char* write = reinterpret_cast<char*>(slots + ArgumentPointerSlots(length));
    int found = 0;
    bool inQuotes = false;
    bool betweenArguments = true;

    for (const char* read = text; *read != '\0'; ++read) {
        const unsigned char byte = static_cast<unsigned char>(*read);
        if (inQuotes) {
            if (byte == '"') {
                inQuotes = false;
            } else {
                *write++ = static_cast<char>(byte);
            }
        } else if (IsSeparator(byte)) {
            if (!betweenArguments) {
                *write++ = '\0';
            }
            betweenArguments = true;
        } else if (byte == '"') {
            if (betweenArguments) {
                slots[found++] = write;
            }
            inQuotes = true;
            betweenArguments = false;
        } else {
            if (betweenArguments) {
                slots[found++] = write;
            }
            *write++ = static_cast<char>(byte);
            betweenArguments = false;
        }
    }

    *write = '\0';
    slots[found] = nullptr;
    *count = found;
    return slots;
}

void ReleaseArgumentVector(char** vector) {
    if (vector != nullptr) {
        CommandLineCalls.releaseBlock(vector);
    }
}
