#pragma once
// CString: the class library's text type, as the modules pass it to each other. A small
// value type over std::string; text is 8-bit (Windows-1252), so case changes and
// case-insensitive comparison touch ASCII letters only. Positions and counts are ints as
// callers use them; out-of-range arguments are clamped, never undefined.
#include <cstdarg>
#include <string>
#include <string_view>

#include "platform/export.h"

namespace platform::mfc {

class TESS_EXPORT CString {
public:
    CString() = default;
    CString(const char* text) : s_(text ? text : "") {}  // NOLINT: converts like the original
    CString(const char* text, int length);               // at most length bytes, ending early at a NUL
    CString(std::string_view text) : s_(text) {}         // NOLINT
    CString(const std::string& text) : s_(text) {}       // NOLINT
    CString(char c, int repeat = 1) : s_(repeat > 0 ? static_cast<size_t>(repeat) : 0, c) {}

    int GetLength() const { return static_cast<int>(s_.size()); }
    bool IsEmpty() const { return s_.empty(); }
    void Empty() { s_.clear(); }
    operator const char*() const { return s_.c_str(); }  // NOLINT
    const char* GetString() const { return s_.c_str(); }
    const std::string& str() const { return s_; }
    char GetAt(int index) const;    // '\0' out of range
    void SetAt(int index, char c);  // ignored out of range

    // printf-style; the text replaces the string's content.
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* format, va_list args);
    void AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

    int Compare(const char* other) const;
    int CompareNoCase(const char* other) const;
    CString& MakeLower();
    CString& MakeUpper();
    // Without an argument: white space (space, tab, CR, LF, VT, FF).
    CString& Trim(const char* chars = nullptr);
    CString& TrimLeft(const char* chars = nullptr);
    CString& TrimRight(const char* chars = nullptr);
    // -1 when absent or when start is out of range.
    int Find(char c, int start = 0) const;
    int Find(const char* sub, int start = 0) const;
    int ReverseFind(char c) const;
    int Replace(const char* from, const char* to);  // count replaced; empty `from` replaces nothing
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Left(int count) const;
    CString Right(int count) const;

    CString& operator+=(const CString& other);
    CString& operator+=(const char* other);
    CString& operator+=(char c);

private:
    std::string s_;
};

TESS_EXPORT CString operator+(const CString& a, const CString& b);
TESS_EXPORT CString operator+(const CString& a, const char* b);
TESS_EXPORT CString operator+(const char* a, const CString& b);
TESS_EXPORT CString operator+(const CString& a, char b);

inline bool operator==(const CString& a, const CString& b) { return a.str() == b.str(); }
inline bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
inline bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
inline bool operator!=(const CString& a, const CString& b) { return !(a == b); }
inline bool operator!=(const CString& a, const char* b) { return !(a == b); }
inline bool operator!=(const char* a, const CString& b) { return !(a == b); }
inline bool operator<(const CString& a, const CString& b) { return a.str() < b.str(); }
inline bool operator<(const CString& a, const char* b) { return a.Compare(b) < 0; }
inline bool operator>(const CString& a, const CString& b) { return b < a; }
inline bool operator<=(const CString& a, const CString& b) { return !(b < a); }
inline bool operator>=(const CString& a, const CString& b) { return !(a < b); }

}  // namespace platform::mfc
