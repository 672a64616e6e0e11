#include "common/address_list.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace tess {
namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Join(const std::vector<std::string>& items, char sep, bool skipEmpty) {
    std::string out;
    bool first = true;
    for (const std::string& s : items) {
        if (skipEmpty && s.empty()) continue;
        if (!first) out += sep;
        out += s;
        first = false;
    }
    return out;
}

}  // namespace

int StartsWithNoCase(const char* text, const char* prefix) {
    if (!text || !prefix) return 0;
    for (; *prefix; ++text, ++prefix)
        if (!*text || Lower(*text) != Lower(*prefix)) return 0;
    return 1;
}

const char* FindNoCase(const char* text, const char* pattern) {
    if (!text || !*text || !pattern) return nullptr;
    for (const char* p = text; *p; ++p)
        if (StartsWithNoCase(p, pattern)) return p;
    return nullptr;
}

int IndexOfNoCase(const char* text, const char* pattern) {
    const char* p = FindNoCase(text, pattern);
    return p ? static_cast<int>(p - text) : -1;
}

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsSpace(s[b])) ++b;
    while (e > b && IsSpace(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

void SplitAddressList(std::string& list, std::vector<std::string>& out, bool semicolon) {
    if (semicolon) {
        while (!list.empty()) {
            const size_t sep = list.find(';');
            const std::string item = list.substr(0, sep);
            if (item.empty()) break;
            out.push_back(item);
            list.erase(0, sep == std::string::npos ? list.size() : sep + 1);
        }
        list.clear();
        return;
    }
    for (size_t comma = list.find(','); comma != std::string::npos; comma = list.find(',')) {
        size_t end;       // end of the item
        size_t consumed;  // how much of the list it takes, with its comma
        auto untilCommaAfter = [&](size_t from) {
            const size_t next = list.find(',', from);
            end = next == std::string::npos ? list.size() : next;
            consumed = next == std::string::npos ? list.size() : next + 1;
        };
        const size_t quote = list.find('"');
        if (quote == std::string::npos || quote > comma) {
            const bool named = list.find_first_not_of(" \t\r\n") < comma;
            if (named && list.find('@') >= comma)  // "Last, First" before its address
                untilCommaAfter(comma + 1);
            else
                end = comma, consumed = comma + 1;
        } else {
            const size_t close = list.find('"', quote + 1);
            if (close != std::string::npos && close < comma)
                end = comma, consumed = comma + 1;
            else if (close == std::string::npos)
                end = consumed = list.size();
            else
                untilCommaAfter(close + 1);  // the comma is inside the quoted name
        }
        out.push_back(Trim(std::string_view(list).substr(0, end)));
        list.erase(0, consumed);
    }
    if (!list.empty()) out.push_back(list);
    list.clear();
}

int NormalizeAddressList(std::string& list, bool semicolon) {
    std::vector<std::string> items;
    SplitAddressList(list, items, semicolon);
    list = Join(items, semicolon ? ';' : ',', true);
    return static_cast<int>(items.size());
}

void ExtractAngleAddresses(std::string& list) {
    std::vector<std::string> items, kept;
    SplitAddressList(list, items, false);
    for (const std::string& item : items) {
        if (item.find(',') == std::string::npos) {
            kept.push_back(item);
            continue;
        }
        const size_t lt = item.find('<');
        const size_t gt = lt == std::string::npos ? lt : item.find('>', lt + 1);
        if (gt != std::string::npos) kept.push_back(item.substr(lt + 1, gt - lt - 1));
    }
    list = Join(kept, ',', false);
}

std::string PopAddressToken(std::string& list, bool semicolon) {
    const char sep = semicolon ? ';' : ',';
    while (!list.empty() && IsSpace(list.back())) list.pop_back();
    size_t start = 0;
    while (start < list.size() && IsSpace(list[start])) ++start;
    while (start < list.size() && list[start] == sep) {
        ++start;
        while (start < list.size() && IsSpace(list[start])) ++start;
    }
    const size_t next = list.find(sep, start);
    std::string item =
        Trim(std::string_view(list).substr(start, next == std::string::npos ? std::string::npos : next - start));
    list = next == std::string::npos ? std::string() : list.substr(next + 1);
    return item;
}

std::string StripQuotes(std::string_view s) {
    std::string t = Trim(s);
    while (t.size() >= 2 && (t.front() == '"' || t.front() == '\'') && t.back() == t.front())
        t = t.substr(1, t.size() - 2);
    return t;
}

std::string GetAddressDisplayName(std::string_view address) {
    const std::string a = StripQuotes(address);
    const size_t lt = a.find('<'), gt = a.find('>');
    if (lt != std::string::npos && gt != std::string::npos) return StripQuotes(std::string_view(a).substr(0, lt));
    const size_t open = a.find('('), close = a.rfind(')');
    if (open != std::string::npos && close != std::string::npos && close > open)
        return StripQuotes(std::string_view(a).substr(open + 1, close - open - 1));
    return a;
}

std::string GetAddressEmail(std::string_view address) {
    const std::string a = StripQuotes(address);
    const size_t lt = a.find('<');
    const size_t gt = lt == std::string::npos ? lt : a.find('>', lt + 1);
    if (gt != std::string::npos) return a.substr(lt + 1, gt - lt - 1);
    const size_t open = a.find('(');
    if (open != std::string::npos) return StripQuotes(std::string_view(a).substr(0, open));
    return a;
}

int IsValidEmailAddress(std::string_view address) {
    std::string a = Trim(address);
    const size_t colon = a.find(':');
    if (colon != std::string::npos) {
        if (colon != 4 || !StartsWithNoCase(a.c_str(), "smtp")) return 0;
        a = a.substr(colon + 1);
        size_t b = 0;
        while (b < a.size() && IsSpace(a[b])) ++b;
        a.erase(0, b);
    }
    if (a.size() < 5) return 0;
    const size_t at = a.find('@');
    if (at == std::string::npos || at == 0 || at == a.size() - 1) return 0;
    const std::string domain = a.substr(at + 1);
    if (domain.size() < 3) return 0;
    const size_t dot = domain.find('.');
    return dot != std::string::npos && dot != domain.size() - 1 ? 1 : 0;
}

void ConvertLfToCrLf(std::string& dest, std::string_view src) {
    for (size_t i = 0; i < src.size(); ++i) {
        if (src[i] == '\r' && i > 0 && src[i - 1] == '\n') continue;
        if (src[i] == '\n') dest += '\r';
        dest += src[i];
    }
}

std::string ConvertCrLfToLf(std::string_view src) {
    std::string out;
    for (size_t i = 0; i < src.size(); ++i) {
        if (src[i] == '\r' && (i + 1 == src.size() || src[i + 1] == '\n')) {
            out += '\n';
            if (i + 1 < src.size()) ++i;
            continue;
        }
        out += src[i];
    }
    return out;
}

std::string UnwrapLines(std::string_view src) {
    std::string out;
    const size_t n = src.size();
    size_t lineStart = 0;
    for (size_t i = 0; i < n; ++i) {
        const char c = src[i];
        if (c != '\r') {
            out += c;
            continue;
        }
        size_t next = i + 1;
        if (next < n && src[next] == '\n') ++next;
        // The first character of the next line past its blanks decides; everything from
        // it on is kept, so a joined line never loses more than blanks.
        size_t k = next;
        while (k < n && src[k] == ' ') ++k;
        const unsigned char found = k < n ? static_cast<unsigned char>(src[k]) : 0;
        // Counted from just after the previous CR (its LF included) or from the start.
        const bool join = i - lineStart >= 43 && n - i > 2 && next < n && src[next] != '\r' && found != 0 &&
                          found != '\r' && found != '\n' && !std::isdigit(found) && !std::ispunct(found);
        lineStart = i + 1;
        if (!join) {
            out += c;
            continue;
        }
        while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
        out += ' ';
        i = k - 1;  // the loop's ++ resumes at the character found
    }
    return out;
}

int SplitAttachmentPaths(const std::string& list, std::vector<std::string>& paths, std::vector<std::string>& names,
                         std::vector<std::string>& shortNames) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        if (comma > start) {
            const std::string path = list.substr(start, comma - start);
            const size_t cut = path.find_last_of("\\/");
            const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
            paths.push_back(path);
            names.push_back(name);
            shortNames.push_back(name.size() > 12 ? name.substr(0, 6) + "~1" + name.substr(name.size() - 4) : path);
        }
        start = comma + 1;
    }
    return 1;
}

int CPathEnvironment::Load() {
    const char* path = std::getenv("PATH");
    if (!path) return 0;
    original_.clear();
    std::string s = path;
    size_t start = 0;
    while (start < s.size()) {
        const size_t sep = s.find(':', start);
        if (sep == std::string::npos) {
            original_.push_back(s.substr(start));
            break;
        }
        original_.push_back(s.substr(start, sep - start));
        start = sep + 1;
    }
    loaded_ = true;
    return static_cast<int>(original_.size());
}

int CPathEnvironment::Add(const std::string& dir) {
    if (dir.empty()) return 0;
    added_.push_back(dir);
    return 1;
}

int CPathEnvironment::Contains(const std::string& dir) const {
    if (!loaded_ || dir.empty()) return 0;
    for (const std::string& e : original_)
        if (e == dir) return 1;
    return 0;
}

int CPathEnvironment::Apply() const {
    if (!loaded_) return 0;
    std::vector<std::string> all = original_;
    all.insert(all.end(), added_.begin(), added_.end());
    return setenv("PATH", Join(all, ':', false).c_str(), 1) == 0 ? 1 : 0;
}

bool CPathEnvironment::Extend(const std::string& dir) {
    Load();
    if (Contains(dir) || !Add(dir)) return false;
    return Apply() == 1;
}

int CPathEnvironment::Restore() const {
    if (!loaded_) return 0;
    return setenv("PATH", Join(original_, ':', false).c_str(), 1) == 0 ? 1 : 0;
}

}  // namespace tess
