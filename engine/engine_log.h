#pragma once
// How the engine reports: numbered messages of its language library to the sync log with
// an activity code, debug lines to the product log, informational lines to the sync log.
#include <initializer_list>
#include <string>

namespace tess::engine {

// The two logging switches of the running synchronisation.
struct LogSwitches {
    bool debug = false;
    bool info = false;
};
LogSwitches& Logging();

// String id of the engine's language library.
std::string Str(unsigned id);
// A string that names stored data (a section or key): without the language library the
// name must not become empty, so the fallback stands in.
std::string StrOr(unsigned id, const char* fallback);
// Each "%..." conversion (s, d, x, u, with flags and widths) takes the next text as it
// stands; "%%" is a percent sign. Missing texts count as empty.
std::string FormatText(const std::string& format, std::initializer_list<std::string> args);
// printf for the engine's own fixed lines.
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

void SyncLine(const std::string& text, int activity);
void SyncMessage(unsigned id, int activity, std::initializer_list<std::string> args = {});
// A product-log line when debug logging is on.
void Debug(const std::string& line);
// The debug line, or with informational logging the message id in its informational form.
void DebugOrInfo(const std::string& debugLine, unsigned infoId, std::initializer_list<std::string> args);

}  // namespace tess::engine
