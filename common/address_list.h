#pragma once
// Address lists as desktop mail systems write them (display names, quotes, commas inside
// names), single addresses, line-end conversion, wrapped lines, attachment path lists,
// small case-insensitive searches and the PATH editor used before loading a client
// library.
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// ASCII, case-insensitive. Null arguments never match.
int StartsWithNoCase(const char* text, const char* prefix);
const char* FindNoCase(const char* text, const char* pattern);
int IndexOfNoCase(const char* text, const char* pattern);

// Blanks, tabs, CR and LF off both ends.
std::string Trim(std::string_view s);

// Appends the list's items to out and empties the list. With semicolons the items are
// untrimmed and an empty item ends the split; with commas a quoted name or an unquoted
// "Last, First" name stays with its address, items are trimmed except the last.
void SplitAddressList(std::string& list, std::vector<std::string>& out, bool semicolon);
// Rebuilds the list from its non-empty items; the number of items split (empty ones
// included), 0 for an empty list.
int NormalizeAddressList(std::string& list, bool semicolon);
// Items without a comma stay whole; an item with a comma keeps only its <address>, and
// is dropped without one. Joined by ",".
void ExtractAngleAddresses(std::string& list);
// The first non-empty item, trimmed; the list keeps what follows its separator.
std::string PopAddressToken(std::string& list, bool semicolon);
// Trimmed, then matching outer quote pairs (double or single) removed, repeatedly.
std::string StripQuotes(std::string_view s);
std::string GetAddressDisplayName(std::string_view address);
std::string GetAddressEmail(std::string_view address);
// An optional "smtp:" prefix (any case), then at least 5 characters with an "@" neither
// first nor last and a domain of 3 or more characters with a "." before its end.
int IsValidEmailAddress(std::string_view address);

// Each LF as CR LF; a CR right after an LF is dropped; a CR before an LF is kept.
void ConvertLfToCrLf(std::string& dest, std::string_view src);
// CR LF as LF, a CR at the very end as LF, other CRs unchanged.
std::string ConvertCrLfToLf(std::string_view src);
// Joins lines a mail program wrapped: a break after a line of 43 or more characters
// whose next line (past its blanks) starts with a letter-like character becomes one
// blank. Only blanks around the break are dropped.
std::string UnwrapLines(std::string_view src);

// Splits a comma-separated path list; empty items are skipped. names: the text after the
// last '\' or '/'; shortNames: the 8.3 form (6 characters, "~1", the last 4) for names
// longer than 12 characters, else the path. Returns 1.
int SplitAttachmentPaths(const std::string& list, std::vector<std::string>& paths, std::vector<std::string>& names,
                         std::vector<std::string>& shortNames);

// Edits PATH for the life of a session; nothing is written back on destruction.
class CPathEnvironment {
public:
    // Reads PATH and splits it at ':' (empty entries kept, none for a trailing
    // separator). The number of entries; 0 when PATH is unset.
    int Load();
    int Add(const std::string& dir);
    int Contains(const std::string& dir) const;
    // PATH = original entries then added ones. 0 when not loaded.
    int Apply() const;
    int Restore() const;
    // Loads PATH and appends dir when PATH does not list it yet; true when PATH was
    // rewritten (Restore then puts the old value back).
    bool Extend(const std::string& dir);
    bool IsLoaded() const { return loaded_; }
    const std::vector<std::string>& Entries() const { return original_; }

private:
    bool loaded_ = false;
    std::vector<std::string> original_;
    std::vector<std::string> added_;
};

}  // namespace tess
