#pragma once
// What the engine reports during a synchronisation: user-visible lines in the sync
// manager's log, each with an activity code, the see-log status, the one-line summary of
// a message in record-failure lines, and the texts of host result codes.
#include <string>

namespace tess {

class CMsg;

// Activity codes of the sync log.
enum SyncActivity : int {
    kActivityText = -1,
    kActivityRecordDelete = 12,
    kActivityHostFailure = 13,
    kActivitySyncStart = 19,
    kActivitySyncEnd = 20,
    kActivityError = 22,
};

// String ids of the engine's language library used here.
enum : unsigned {
    kStrDatabaseOpenFailure = 4010,
    kStrProductName = 4022,
    kStrDoNothing = 4028,
    kStrSummaryFrom = 4036,
    kStrSummaryTo = 4037,
    kStrRecordDeleteFailure = 4038,
    kStrSummaryDate = 4044,
    kStrSummaryLine = 4045,
    kStrNoActiveAccounts = 4110,
    kStrInfo = 4135,
    kStrSeeLog = 4210,
    kStrProgressTitle = 4441,
    kStrProgressCaption = 4442,
};

// Each writer loads its strings from the language library current on this thread
// (common/language_module.h) and writes through the sync manager's log call.
void LogRecordDeleteFailure(const CMsg* msg);
void LogDatabaseOpenFailure();
void LogHostFailure(unsigned id, const CMsg* msg);
void LogText(unsigned id, const CMsg* msg);
void LogTextLine(const std::string& text);
void LogError(unsigned id, const CMsg* msg);
void LogErrorLine(const std::string& text);
void LogDoNothing();
void LogNoActiveAccounts();
void LogInfo(const std::string& text);
void LogSyncStart();
void LogSyncEnd();
// The sync manager's status text: "<4210>\n".
void ReportSeeLog();

// "\tFrom: <first address>[, m/d/yyyy][, subject]" cut to 128 characters, or " " when
// the message has no subject or no summary.
void FormatMessageSummary(const CMsg& msg, std::string& out);
// The text of a host result code; a code outside the table leaves text unchanged.
void HostErrorText(int code, std::string& text);

}  // namespace tess
