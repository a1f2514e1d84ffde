#pragma once
// Velmora's version, written here and nowhere else. The About box, the usage
// text, the version resource and the manifest take it from these numbers
// through the C preprocessor (the compilers and windres); CMakeLists.txt reads
// the four lines below for the release's name and its README.txt, so each
// keeps this form: "#define VELMORA_VERSION_<PART> <number>".
#define VELMORA_VERSION_MAJOR 1
#define VELMORA_VERSION_MINOR 0
#define VELMORA_VERSION_PATCH 0
#define VELMORA_VERSION_BUILD 1

#define VELMORA_VERSION_TEXT(number) #number
#define VELMORA_VERSION_NUMBER(number) VELMORA_VERSION_TEXT(number)
#define VELMORA_VERSION_PART(part) VELMORA_VERSION_NUMBER(VELMORA_VERSION_##part)

// What the program shows (the About box, the usage text): "1.0".
#define VELMORA_VERSION_SHOWN VELMORA_VERSION_PART(MAJOR) "." VELMORA_VERSION_PART(MINOR)
// The version resource's strings and the manifest's: "1.0.0.1".
#define VELMORA_VERSION_FULL                                                                       \
    VELMORA_VERSION_SHOWN "." VELMORA_VERSION_PART(PATCH) "." VELMORA_VERSION_PART(BUILD)
