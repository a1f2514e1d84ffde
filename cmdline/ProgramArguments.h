#pragma once

// The arguments of a whole process command line (as GetCommandLineA gives
// it): what follows the program name and the blanks after it. The program
// name is quoted, running to the next double quote, or runs to the first
// blank or tab; bytes of 0x80 and above are ordinary characters, whatever
// the code page, so a path such as Z:\Müller\Velmora.exe is skipped whole.
const char* ProgramArguments(const char* commandLine);
