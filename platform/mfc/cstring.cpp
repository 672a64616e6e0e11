#include "platform/mfc/cstring.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace platform::mfc {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

constexpr const char* kWhite = " \t\r\n\v\f";

// Unsigned byte order, as the runtime library's strcmp gives.
int compareBytes(std::string_view a, std::string_view b, bool fold) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(fold ? lower(a[i]) : a[i]);
        const auto y = static_cast<unsigned char>(fold ? lower(b[i]) : b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

CString::CString(const char* text, int length) {
    if (text && length > 0) s_.assign(text, strnlen(text, static_cast<size_t>(length)));
}

char CString::GetAt(int index) const {
    return index >= 0 && index < GetLength() ? s_[static_cast<size_t>(index)] : '\0';
}

void CString::SetAt(int index, char c) {
    if (index >= 0 && index < GetLength()) s_[static_cast<size_t>(index)] = c;
}

void CString::FormatV(const char* format, va_list args) {
    if (!format) {
        s_.clear();
        return;
    }
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n < 0) {
        s_.clear();
        return;
    }
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(n));
    s_ = std::move(out);
}

void CString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::AppendFormat(const char* format, ...) {
    CString more;
    va_list args;
    va_start(args, format);
    more.FormatV(format, args);
    va_end(args);
    s_ += more.s_;
}

int CString::Compare(const char* other) const { return compareBytes(s_, other ? other : "", false); }

int CString::CompareNoCase(const char* other) const { return compareBytes(s_, other ? other : "", true); }

CString& CString::MakeLower() {
    for (char& c : s_) c = lower(c);
    return *this;
}

CString& CString::MakeUpper() {
    for (char& c : s_) c = upper(c);
    return *this;
}

CString& CString::Trim(const char* chars) { return TrimRight(chars).TrimLeft(chars); }

CString& CString::TrimLeft(const char* chars) {
    s_.erase(0, std::min(s_.size(), s_.find_first_not_of(chars ? chars : kWhite)));
    return *this;
}

CString& CString::TrimRight(const char* chars) {
    const size_t last = s_.find_last_not_of(chars ? chars : kWhite);
    s_.erase(last == std::string::npos ? 0 : last + 1);
    return *this;
}

int CString::Find(char c, int start) const {
    if (start < 0 || start >= GetLength()) return -1;
    const size_t at = s_.find(c, static_cast<size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(const char* sub, int start) const {
    if (!sub || start < 0 || start > GetLength()) return -1;
    const size_t at = s_.find(sub, static_cast<size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::ReverseFind(char c) const {
    const size_t at = s_.rfind(c);
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Replace(const char* from, const char* to) {
    if (!from || !*from) return 0;
    const std::string_view f(from), t(to ? to : "");
    int count = 0;
    for (size_t at = s_.find(f); at != std::string::npos; at = s_.find(f, at + t.size())) {
        s_.replace(at, f.size(), t);
        ++count;
    }
    return count;
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
    first = std::clamp(first, 0, GetLength());
    count = std::clamp(count, 0, GetLength() - first);
    return CString(std::string_view(s_).substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Left(int count) const { return Mid(0, count); }

CString CString::Right(int count) const {
    count = std::clamp(count, 0, GetLength());
    return Mid(GetLength() - count, count);
}

CString& CString::operator+=(const CString& other) {
    s_ += other.s_;
    return *this;
}

CString& CString::operator+=(const char* other) {
    if (other) s_ += other;
    return *this;
}

CString& CString::operator+=(char c) {
    s_ += c;
    return *this;
}

CString operator+(const CString& a, const CString& b) {
    CString r(a);
    return r += b;
}

CString operator+(const CString& a, const char* b) {
    CString r(a);
    return r += b;
}

CString operator+(const char* a, const CString& b) {
    CString r(a);
    return r += b;
}

CString operator+(const CString& a, char b) {
    CString r(a);
    return r += b;
}

}  // namespace platform::mfc
