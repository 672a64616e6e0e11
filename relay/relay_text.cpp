#include "relay/relay_text.h"

#include <cstdio>
#include <vector>

#include "common/language_module.h"
#include "platform/ui/ui_service.h"

namespace tess::relay {

std::string Text(unsigned id) { return LoadLangString(id); }

std::string Format(unsigned id, const std::string& a, const std::string& b, const std::string& c, const std::string& d,
                   const std::string& e, const std::string& f, const std::string& g) {
    // Only %s (and %%) appear in the relay's texts: substitute them in order.
    const std::string format = Text(id);
    const std::string* args[] = {&a, &b, &c, &d, &e, &f, &g};
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == 's') {
                if (next < 7) out += *args[next++];
                ++i;
                continue;
            }
            if (format[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

std::string Caption() { return Text(57449); }

int Box(const std::string& text, unsigned type) { return platform::ui::messageBox(text, Caption(), type); }

std::string AscTime(const std::tm* tm) {
    if (!tm) return {};
    char buf[64] = {};
    if (!asctime_r(tm, buf)) return {};
    std::string s(buf);
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}

}  // namespace tess::relay
