#include "common/sync_report.h"

#include <cstdio>

#include "common/handheld_time.h"
#include "common/language_module.h"
#include "common/msg_record.h"
#include "platform/syncmgr/syncmgr.h"

namespace tess {

namespace {

void Line(const std::string& text, int activity) { SyncLogAddLine(text.c_str(), activity, 0); }

void WithSummary(unsigned id, int activity, const CMsg* msg, int summaryActivity) {
    Line(LoadLangString(id), activity);
    if (msg) {
        std::string summary;
        FormatMessageSummary(*msg, summary);
        Line(summary, summaryActivity);
    }
}

// A format string from the catalogue with one or more "%s" (or "%.1ld"-like) fields; the
// catalogue's text is trusted only as far as its "%s" fields.
std::string FormatStrings(const std::string& format, std::initializer_list<std::string> args) {
    std::string out;
    auto arg = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
            if (arg != args.end()) out += *arg++;
            ++i;
        } else if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

std::string FirstAddress(const std::string& list) { return list.substr(0, list.find_first_of(",\n;")); }

}  // namespace

void LogRecordDeleteFailure(const CMsg* msg) {
    WithSummary(kStrRecordDeleteFailure, kActivityRecordDelete, msg, kActivityText);
}
void LogDatabaseOpenFailure() { Line(LoadLangString(kStrDatabaseOpenFailure), kActivityText); }
void LogHostFailure(unsigned id, const CMsg* msg) { WithSummary(id, kActivityHostFailure, msg, kActivityText); }
void LogText(unsigned id, const CMsg* msg) { WithSummary(id, kActivityText, msg, kActivityText); }
void LogTextLine(const std::string& text) { Line(text, kActivityText); }
void LogError(unsigned id, const CMsg* msg) { WithSummary(id, kActivityError, msg, kActivityError); }
void LogErrorLine(const std::string& text) { Line(text, kActivityError); }

void LogDoNothing() { Line(LoadLangString(kStrProductName) + " - " + LoadLangString(kStrDoNothing), kActivityText); }

void LogNoActiveAccounts() {
    Line(LoadLangString(kStrProductName) + " - " + LoadLangString(kStrNoActiveAccounts), kActivityText);
}

void LogInfo(const std::string& text) { Line(FormatStrings(LoadLangString(kStrInfo), {text}), kActivityText); }
void LogSyncStart() { Line("", kActivitySyncStart); }
void LogSyncEnd() { Line(LoadLangString(kStrProductName), kActivitySyncEnd); }

void ReportSeeLog() { SyncSetStatusText((LoadLangString(kStrSeeLog) + "\n").c_str()); }

void FormatMessageSummary(const CMsg& msg, std::string& out) {
    out.clear();
    const std::string line = LoadLangString(kStrSummaryLine);
    if (const std::string from = FirstAddress(msg.From); !from.empty())
        out = FormatStrings(line, {LoadLangString(kStrSummaryFrom), from});
    if (out.empty())
        if (const std::string to = FirstAddress(msg.To); !to.empty())
            out = FormatStrings(line, {LoadLangString(kStrSummaryTo), to});
    if (msg.date != 0) {
        // The catalogue's "%.1ld/%.1ld/%.4ld": month, day, four-digit year.
        const CivilTime c = CivilFromSeconds(ToLocalOrUtc(msg.date, true));
        char date[32];
        std::snprintf(date, sizeof date, "%d/%d/%04d", c.month, c.day, c.year);
        out += ", ";
        out += date;
    }
    if (!out.empty() && !msg.Subject.empty()) {
        out += ", " + msg.Subject;
        if (out.size() > 128) out.resize(128);
    } else {
        out = " ";
    }
}

void HostErrorText(int code, std::string& text) {
    static const struct {
        int code;
        unsigned id;
    } kTexts[] = {
        {1, 4306},   {2, 4307},   {3, 4308},   {4, 4309},   {5, 4310},   {100, 4311}, {200, 4312}, {223, 4312},
        {201, 4313}, {202, 4314}, {203, 4315}, {204, 4316}, {205, 4317}, {206, 4318}, {207, 4319}, {208, 4320},
        {209, 4321}, {210, 4322}, {211, 4322}, {212, 4324}, {213, 4325}, {214, 4326}, {215, 4327}, {216, 4328},
        {217, 4329}, {218, 4330}, {219, 4331}, {220, 4332}, {221, 4333}, {222, 4334}, {224, 4335}, {225, 4336},
        {226, 4337}, {227, 4338}, {228, 4338}, {229, 4339},
    };
    for (const auto& t : kTexts)
        if (t.code == code) {
            text = LoadLangString(t.id);
            return;
        }
}

}  // namespace tess
