#include "vendor-sim/JournalLine.h"

std::string CallLine(const char* library, int ordinal) {
    return std::string(library) + " " + std::to_string(ordinal);
}

std::string CountLine(const char* library, int ordinal, int count) {
    return CallLine(library, ordinal) + " -> " + std::to_string(count);
}

std::string DeviceTypeLine(int index, int type) {
    return CallLine("PacDrive", 20) + " " + std::to_string(index) + " -> " + std::to_string(type);
}

std::string LoadMapLine(int index, const char* name) {
    return CallLine("UltraStik", 13) + " " + std::to_string(index) + " " + SimEscape(name);
}

std::string SimEscape(const char* text) {
    std::string out;
    for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        const unsigned char byte = static_cast<unsigned char>(*p);
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte < 0x20) {
            const char digits[] = "0123456789ABCDEF";
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}
