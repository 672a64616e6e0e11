#include "engine/engine_log.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "common/language_module.h"
#include "common/sync_report.h"
#include "datamgr/ledgerly.h"
#include "platform/syncmgr/syncmgr.h"

namespace tess::engine {

LogSwitches& Logging() {
    static LogSwitches switches;
    return switches;
}

std::string Str(unsigned id) { return LoadLangString(id); }

std::string StrOr(unsigned id, const char* fallback) {
    std::string s = LoadLangString(id);
    return s.empty() ? fallback : s;
}

std::string FormatText(const std::string& format, std::initializer_list<std::string> args) {
    std::string out;
    auto arg = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            out += format[i];
            continue;
        }
        if (format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < format.size() && std::string_view("-+ #0123456789.lh").find(format[j]) != std::string_view::npos)
            ++j;
        if (j < format.size() && std::string_view("sdxXuic").find(format[j]) != std::string_view::npos) {
            if (arg != args.end()) out += *arg++;
            i = j;
        } else {
            out += format[i];
        }
    }
    return out;
}

std::string Printf(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    va_list copy;
    va_copy(copy, ap);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        std::vector<char> buf(size_t(n) + 1);
        std::vsnprintf(buf.data(), buf.size(), format, ap);
        out.assign(buf.data(), size_t(n));
    }
    va_end(ap);
    return out;
}

void SyncLine(const std::string& text, int activity) { SyncLogAddLine(text.c_str(), activity, 0); }

void SyncMessage(unsigned id, int activity, std::initializer_list<std::string> args) {
    SyncLine(FormatText(Str(id), args), activity);
}

void Debug(const std::string& line) {
    if (Logging().debug) MLOGAdd(line.c_str());
}

void DebugOrInfo(const std::string& debugLine, unsigned infoId, std::initializer_list<std::string> args) {
    if (Logging().debug)
        MLOGAdd(debugLine.c_str());
    else if (Logging().info)
        LogInfo(FormatText(Str(infoId), args));
}

}  // namespace tess::engine
