// What a support person needs to understand a user's installation: the desktop's names and
// system, its mail clients, the product's registry settings and the versions of the
// product's files. Written into the product log when debug logging is on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/registry.h"

namespace tess::engine {

struct ReportRegistryValue {
    HKEY root = nullptr;
    std::string keyPath;
    std::string name;
    DWORD type = REG_NONE;
    DWORD number = 0;  // REG_DWORD values
    std::string text;  // text values, expandable ones expanded
};

struct ReportClient {
    std::string name;
    std::string path;
    std::string fileVersion;
    std::string productVersion;
};

class CSystemReport {
public:
    CSystemReport();  // gathers everything
    virtual ~CSystemReport() = default;

    std::string computerName;
    std::string userName;
    std::string operatingSystem;
    std::string defaultMail, defaultContacts, defaultNews, defaultCalendar;
    std::vector<ReportClient> mailClients;
    ReportClient mapi;  // the Simple MAPI library
    std::string tallyhopPath, tallyhopVersion;
    std::vector<ReportRegistryValue> general, msgSyncPlugins, msgHostPlugins, configPlugins;
};

// The program a mail client's open command starts: after a "rundll32.exe" the library named
// behind it; then the text between the first pair of double quotes, else the text before
// the first comma, else before the first blank.
std::string MailClientProgramPath(std::string command);

// The lines of the file-version report, in the order they are written.
std::vector<std::string> FileVersionReportLines();

// Writes those lines into the product log.
void WriteFileVersionReport();

}  // namespace tess::engine
