#pragma once
#include <string>
#include <vector>

// Shared by the stand-in UltraStik.dll and PacDrive.dll. Both read DeviceSim.ini
// and append to DeviceSim.log in the directory of the DLL itself, so a test or
// a tool can arrange the devices and read what the program sent them.

// [UltraStik] Count (default 0).
int SimUltraStikCount();
// [PacDrive] Types: one device type per comma-separated entry (default none).
std::vector<int> SimPacDriveTypes();

// Appends one line (CR LF added) to the journal, whole, even when several
// threads and processes write at once.
void SimJournal(const std::string& line);
