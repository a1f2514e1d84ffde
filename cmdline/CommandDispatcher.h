#pragma once

extern const char UsageText[];

// Acts on "-help", "-u360", "-servo" and "-exit" in a command-line text; every
// other switch and stray token is ignored. Runs on the main thread only.
// Gives 1 once the text was acted on, 0 when its argument vector or the switch
// table's copy of it could not be allocated and nothing was done.
int ProcessCommandLine(const char* text);

// What ProcessCommandLine would make of a command-line text, for a start
// that has yet to decide whether to act on it itself or hand it over.
struct LineSwitches {
    bool any;   // a switch, known or not
    bool usage; // "-help": the usage box, and nothing else of the line
    bool exit;  // "-exit" acted on: the line ends the program
};
LineSwitches SwitchesOf(const char* text);
