#pragma once
// The desktop's default mail client, switched to the program an account synchronises with
// and put back afterwards.
#include <cstdint>
#include <string>
#include <vector>

namespace tess::engine {

enum MailClientKind : int {
    kClientOutlook = 0,
    kClientOutlookExpress = 1,
    kClientNotes = 2,
    kClientEudora = 3,
    kClientOther = 4
};

struct RegistryValue {
    std::string name;  // "DEFAULT" for the key's default value
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct ProtocolEntry {
    std::string path;
    std::vector<RegistryValue> values;
};

struct MailClientEntry {
    std::string name;
    std::vector<ProtocolEntry> protocols;
};

class CMailClientSet {
public:
    CMailClientSet();
    virtual ~CMailClientSet() = default;

    static int ClassifyClient(const std::string& name);
    const MailClientEntry* FindClient(int kind) const;
    int HasClient(int kind) const { return FindClient(kind) ? 1 : 0; }
    int SetDefaultByKind(int kind);
    int RestoreDefault();
    int MakeDefault(const MailClientEntry& entry);
    // 1 when the mailto handler is a MAPI program ("outlook.exe" or "notes.exe").
    static int MapiClientIsDefault();
    // The desktop's MAPI profiles behind "Not Selected" (entry 0), and the place of the
    // default one: 0 listed; 1 not available (names untouched when the mail client is not
    // a MAPI program).
    static int GetMapiProfileNames(std::vector<std::string>& names, int& defaultIndex);

private:
    std::vector<MailClientEntry> clients_;
    MailClientEntry saved_;
    int savedKind_ = kClientOther;
    int currentKind_ = kClientOther;
};

}  // namespace tess::engine
