#pragma once
// The relay's own text log, "Wayfarer.log" in the user's directory. Each run begins a
// fresh file: the one an earlier run left is renamed aside with the date and a sequence
// number, and renamed logs older than yesterday (of this year) are deleted.
#include <cstdint>
#include <ctime>
#include <string>

namespace tess::relay {

enum : int { kLogInformation = 1, kLogWarning = 2, kLogFatal = 3, kLogTrace = 4 };

enum : int {
    kLogBegun = 1,
    kLogAlreadyOpen = 2,
    kLogWaitFailed = static_cast<int>(0x80000001),
    // The file could be neither created nor renamed aside. The caller reports it and
    // ends; the process is not torn down under it.
    kLogCannotCreate = static_cast<int>(0x80000002),
};

// directory ends with '/'.
int LogOpen(const std::string& directory);
void LogWrite(int level, const std::string& text);
int LogClose();
// Bit 1 enables trace entries (level 4).
void LogSetOption(uint8_t option);
uint8_t LogOption();

// "Y.M.D" of a date and of the day before it, as the renamed logs carry them.
std::string LogDateText(int year, int month, int day);
std::string LogPreviousDateText(int year, int month, int day);
// Deletes renamed logs of the current year that carry neither date text (run by LogOpen).
void LogPrune(const std::string& directory, const std::tm& today);

}  // namespace tess::relay
