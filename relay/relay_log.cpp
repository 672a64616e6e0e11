#include "relay/relay_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace tess::relay {
namespace {

std::mutex gMutex;  // serialises every open, write and close inside the process
int gFile = -1;
int gOpenCount = 0;
bool gEnabled = false;
uint8_t gOption = 0;

std::tm localNow() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm;
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string readLink(const char* path) {
    char buf[4096];
    ssize_t n = readlink(path, buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::string commandLine() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!all.empty() && all.back() == '\0') all.pop_back();
    for (char& c : all)
        if (c == '\0') c = ' ';
    return all;
}

std::string header() {
    const std::string stars(85, '*');
    std::string program = readLink("/proc/self/exe");
    if (program.size() > 255) program.resize(255);
    char pid[32];
    std::snprintf(pid, sizeof pid, "%06d", static_cast<int>(getpid()));
    return stars + "\r\n" + "Program Name         : " + program + "\r\n" + "Process ID           : " + pid + "\r\n" +
           "Program Command Line : " + commandLine() + "\r\n" + stars + "\r\n" + "\r\n";
}

// Renames the current log to the first free "Wayfarer.Y.M.D-N.log".
bool renameAside(const std::string& directory, const std::string& path) {
    const std::tm today = localNow();
    for (int n = 1; n < 100000; ++n) {
        char name[64];
        std::snprintf(name, sizeof name, "Wayfarer.%d.%d.%d-%d.log", today.tm_year + 1900, today.tm_mon + 1,
                      today.tm_mday, n);
        const std::string target = directory + name;
        if (::access(target.c_str(), F_OK) == 0) continue;
        return std::rename(path.c_str(), target.c_str()) == 0;
    }
    return false;
}

}  // namespace

std::string LogDateText(int year, int month, int day) {
    return std::to_string(year) + "." + std::to_string(month) + "." + std::to_string(day);
}

std::string LogPreviousDateText(int year, int month, int day) {
    if (day > 1) return LogDateText(year, month, day - 1);
    // The first of a month: the last day of the one before (December 31 for January 1,
    // kept in the same year, as the renamed names of this year are all that is listed).
    int prev = month == 1 ? 12 : month - 1;
    int last = 31;
    if (prev == 2)
        last = year % 4 == 0 ? 29 : 28;
    else if (prev == 4 || prev == 6 || prev == 9 || prev == 11)
        last = 30;
    return LogDateText(year, prev, last);
}

void LogPrune(const std::string& directory, const std::tm& today) {
    const int year = today.tm_year + 1900;
    const std::string keep1 = LogDateText(year, today.tm_mon + 1, today.tm_mday);
    const std::string keep2 = LogPreviousDateText(year, today.tm_mon + 1, today.tm_mday);
    const std::string prefix = "Wayfarer." + std::to_string(year);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
        if (!entry.is_regular_file(ec)) continue;
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        if (name.find(keep1) != std::string::npos || name.find(keep2) != std::string::npos) continue;
        std::filesystem::remove(entry.path(), ec);
    }
}

int LogOpen(const std::string& directory) {
    std::lock_guard<std::mutex> lock(gMutex);
    const std::string path = directory + "Wayfarer.log";
    LogPrune(directory, localNow());
    ++gOpenCount;
    if (gFile >= 0) {
        gEnabled = true;
        return kLogAlreadyOpen;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            gFile = fd;
            writeAll(gFile, header());
            gEnabled = true;
            return kLogBegun;
        }
        if (errno != EEXIST || !renameAside(directory, path)) break;
    }
    --gOpenCount;
    return kLogCannotCreate;
}

void LogWrite(int level, const std::string& text) {
    if (!gEnabled) return;
    if (level == kLogTrace && !(gOption & 2)) return;
    std::lock_guard<std::mutex> lock(gMutex);
    if (gFile < 0) return;
    std::time_t now = std::time(nullptr);
    char stamp[32] = {};
    ctime_r(&now, stamp);
    stamp[19] = '\0';
    const char* prefix = level == kLogWarning ? "Wayfarer Warning: "
                         : level == kLogFatal ? "Wayfarer Fatal Error: "
                                              : "Wayfarer: ";
    writeAll(gFile, std::string(stamp) + " " + prefix + text + "\r\n");
}

int LogClose() {
    std::lock_guard<std::mutex> lock(gMutex);
    if (gOpenCount > 0 && --gOpenCount == 0) {
        if (gFile >= 0) ::close(gFile);
        gFile = -1;
        gEnabled = false;
    }
    return 1;
}

void LogSetOption(uint8_t option) { gOption = option; }
uint8_t LogOption() { return gOption; }

}  // namespace tess::relay
