#pragma once
#include <cstddef>

// Splits a command-line text (the part after the program name) into an argument
// vector: count pointers to NUL-terminated arguments followed by a null slot,
// all in one block that the caller releases with one ReleaseArgumentVector.
// Separators are TAB, LF, CR and space; double quotes group; there is no escape.
// When the block cannot be allocated the result is null and *count is 0.
char** ArgumentTokenizer(const char* text, int* count);

// The size of the block for an input of inputLength bytes: the pointer slots
// for the most arguments such an input can hold plus its null slot, then the
// character area of inputLength + 2 bytes.
std::size_t ArgumentPointerSlots(std::size_t inputLength);
std::size_t ArgumentBlockSize(std::size_t inputLength);

// Releases a vector from ArgumentTokenizer; null is accepted and ignored.
void ReleaseArgumentVector(char** vector);
