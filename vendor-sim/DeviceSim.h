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

// [Hold] Event: the name of an event that a test holds unset; every mode call,
// once journaled, waits for it (a minute at most) before it returns, as a
// stick on a hung port would. No name, or no such event: the calls return at once.
void SimHoldIfAsked();

// Appends one line (CR LF added) to the journal, whole, even when several
// threads and processes write at once.
void SimJournal(const std::string& line);
