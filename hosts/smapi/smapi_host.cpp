#include "hosts/smapi/smapi_host.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "common/address_list.h"
#include "hosts/inet/host_lists.h"
#include "hosts/inet/host_messages.h"
#include "hosts/inet/host_session.h"
#include "platform/syncmgr/syncmgr.h"

namespace smapi {

using tess::AttachmentTable;
using tess::CMsg;
using tess::FreeMailMsgBlock;
using tess::kProgressAdvanceStep;
using tess::kProgressSetStepCount;
using tess::MailMsg;
using tess::SmapiLogonRecord;

namespace {

constexpr uint32_t kHostMarker = 0x80000000u;
constexpr uint32_t kReadFlag = 0x02000000u;
constexpr size_t kIdBuffer = 1024;

template <typename Fn>
bool BindOne(HMODULE module, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(GetProcAddress(module, name));
    return fn != nullptr;
}

std::string IdText(const MailMsg* msg) {
    if (!msg || !msg->msgId || msg->msgIdLength <= 0) return {};
    std::string id(reinterpret_cast<const char*>(msg->msgId), static_cast<size_t>(msg->msgIdLength));
    if (const size_t nul = id.find('\0'); nul != std::string::npos) id.resize(nul);
    return id;
}

std::string Lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

bool SimpleMapi::Bind(HMODULE module) {
    *this = SimpleMapi{};
    return module && BindOne(module, "MAPILogon", MAPILogon) && BindOne(module, "MAPILogoff", MAPILogoff) &&
           BindOne(module, "MAPISendMail", MAPISendMail) && BindOne(module, "MAPIFindNext", MAPIFindNext) &&
           BindOne(module, "MAPIReadMail", MAPIReadMail) && BindOne(module, "MAPISaveMail", MAPISaveMail) &&
           BindOne(module, "MAPIDeleteMail", MAPIDeleteMail) && BindOne(module, "MAPIFreeBuffer", MAPIFreeBuffer) &&
           BindOne(module, "MAPIResolveName", MAPIResolveName);
}

int32_t ParseReceivedDate(const char* text) {
    int v[5] = {1970, 1, 1, 0, 0};
    const char* p = text ? text : "";
    for (int i = 0; i < 5 && *p; ++i) {
        int n = 0;
        if (std::sscanf(p, "%d", &n) == 1) v[i] = n;
        p += std::strcspn(p, "/: ");
        p += std::strspn(p, "/: ");
    }
    struct tm t {};
    t.tm_year = std::clamp(v[0], 1970, 2038) - 1900;
    t.tm_mon = std::clamp(v[1], 1, 12) - 1;
    t.tm_mday = std::clamp(v[2], 1, 31);
    t.tm_hour = std::clamp(v[3], 0, 23);
    t.tm_min = std::clamp(v[4], 0, 59);
    t.tm_isdst = -1;
    return static_cast<int32_t>(std::mktime(&t));
}

std::string AddressText(const char* nameText, const char* addressText) {
    std::string name = nameText ? nameText : "";
    std::string address = addressText ? addressText : "";
    if (address.empty() && !name.empty()) {
        address = tess::GetAddressEmail(name);
        const std::string display = tess::GetAddressDisplayName(name);
        if (!display.empty()) name = display;
        if (address == name) address.clear();
    } else if (name.empty() && !address.empty()) {
        name = tess::GetAddressDisplayName(address);
        const std::string bare = tess::GetAddressEmail(address);
        if (!bare.empty()) address = bare;
    }
    if (!name.empty() && !address.empty() && name != address) return address + " (" + name + ")";
    return !address.empty() ? address : name;
}

CSmapiHost::CSmapiHost(LogSink log) : log_(std::move(log)) {}

CSmapiHost::~CSmapiHost() { DropKept(); }

void CSmapiHost::Log(const std::string& line) const {
    if (logging_ && log_) log_(line);
}

void CSmapiHost::Progress(unsigned message, WPARAM wParam) const {
    if (window_) SendMessageA(window_, message, wParam, 0);
}

bool CSmapiHost::HasMarker(const MailMsg* msg) const {
    return msg && (msg->flags & kHostMarker) && !IdText(msg).empty();
}

int CSmapiHost::Logon(const SmapiLogonRecord& r, int flags) {
    profile_ = r.first.str();
    password_ = r.second.str();
    semicolons_ = r.newerHandheld != 0;
    attachments_ = r.downloadAttachments != 0;
    window_ = static_cast<HWND>(r.parentWindow);
    logging_ = (flags & 2) != 0;
    if (!api.MAPILogon) return kLogonFailed;
    LHANDLE session = 0;
    const ULONG rc = api.MAPILogon(0, profile_.empty() ? nullptr : profile_.c_str(),
                                   password_.empty() ? nullptr : password_.c_str(), MAPI_NEW_SESSION, 0, &session);
    if (rc != SUCCESS_SUCCESS) {
        Log("SMAPI Logon failed. Connection could not be made");
        char line[64];
        std::snprintf(line, sizeof line, "%s %s 0x%08x ", "SMAPI", "MAPILogon", static_cast<unsigned>(rc));
        Log(line);
        return kLogonFailed;
    }
    session_ = session;
    Log("SMAPI succesfully logged on for this account");
    return 0;
}

void CSmapiHost::DropKept() {
    namespace fs = std::filesystem;
    for (const auto& m : kept_)
        for (const auto& path : m->AttachmentNameList()) {
            std::error_code ec;
            fs::remove(path, ec);
            // The library's folder for the message's files goes once it is empty.
            fs::remove(fs::path(path).parent_path(), ec);
        }
    kept_.clear();
}

int CSmapiHost::Logoff() {
    DropKept();
    if (!session_ || !api.MAPILogoff) return 0;
    const ULONG rc = api.MAPILogoff(session_, 0, 0, 0);
    session_ = 0;
    return rc == SUCCESS_SUCCESS ? 0 : kNotReleased;
}

void CSmapiHost::Reset() {
    DropKept();
    session_ = 0;
}

std::string CSmapiHost::TakeFiles(const MapiMessage& message) {
    namespace fs = std::filesystem;
    std::string names;
    for (ULONG i = 0; i < message.nFileCount && message.lpFiles; ++i) {
        const MapiFileDesc& f = message.lpFiles[i];
        if (!f.lpszPathName || !*f.lpszPathName) continue;
        std::string path = f.lpszPathName;
        const std::string fileName = f.lpszFileName ? f.lpszFileName : "";
        if (!fileName.empty() && fileName != path) {
            const size_t slash = path.find_last_of('/');
            if (slash == std::string::npos) continue;
            if (path.substr(slash + 1) != fileName) {
                const std::string target = path.substr(0, slash + 1) + fileName;
                std::error_code ec;
                if (!fs::copy_file(path, target, fs::copy_options::overwrite_existing, ec) || ec) {
                    char line[1200];
                    std::snprintf(line, sizeof line, "- Attach %s, trying to create %s failed", path.c_str(),
                                  target.c_str());
                    Log(line);
                    continue;
                }
                // The library's own copy would outlive the listing: only the named one stays.
                fs::remove(path, ec);
                path = target;
            }
        }
        if (!names.empty()) names += ',';
        names += path;
    }
    return names;
}

int CSmapiHost::GetAllMsgs(MailMsg*** out, int* count) {
    Log("SMAPI: Getting all messages starting.");
    if (!out || !count) return kListingFailed;
    *count = 0;
    Progress(kProgressSetStepCount, kStepsAnnounced);
    if (!session_ || !api.MAPIFindNext || !api.MAPIReadMail) return kListingFailed;
    std::vector<MailMsg*> blocks;
    auto fail = [&blocks](int rc) {
        for (MailMsg* b : blocks) FreeMailMsgBlock(b);
        blocks.clear();
        return rc;
    };
    const char sep = semicolons_ ? ';' : ',';
    std::string seed;
    int counter = 0;
    for (;;) {
        char id[kIdBuffer] = {};
        const ULONG found = api.MAPIFindNext(session_, 0, nullptr, seed.c_str(), MAPI_LONG_MSGID, 0, id);
        if (found == MAPI_E_NO_MESSAGES) break;
        // Any other failure would end the listing early: the messages not reached would
        // look gone, so nothing is handed out.
        if (found != SUCCESS_SUCCESS) {
            Log("SMAPI MAPIFindNext failed");
            return fail(kListingFailed);
        }
        MapiMessage* message = nullptr;
        if (api.MAPIReadMail(session_, 0, id, MAPI_PEEK, 0, &message) != SUCCESS_SUCCESS || !message)
            return fail(kListingFailed);
        auto m = std::make_unique<CMsg>();
        m->msgId.SetData(id, static_cast<int32_t>(std::strlen(id) + 1));
        if (!(message->flFlags & MAPI_UNREAD)) m->flags |= kReadFlag;
        m->date = m->value60 = ParseReceivedDate(message->lpszDateReceived);
        m->Subject = message->lpszSubject ? message->lpszSubject : "";
        m->Body = tess::UnwrapLines(message->lpszNoteText ? message->lpszNoteText : "");
        m->size = static_cast<int32_t>(m->Body.size());
        if (message->lpOriginator)
            m->From = AddressText(message->lpOriginator->lpszName, message->lpOriginator->lpszAddress);
        for (ULONG i = 0; i < message->nRecipCount && message->lpRecips; ++i) {
            const MapiRecipDesc& r = message->lpRecips[i];
            std::string* list = r.ulRecipClass == MAPI_CC ? &m->Cc : r.ulRecipClass == MAPI_BCC ? &m->Bcc : &m->To;
            if (!list->empty()) *list += sep;
            *list += AddressText(r.lpszName, r.lpszAddress);
        }
        if (attachments_) m->AttachmentNames = TakeFiles(*message);
        m->status = static_cast<uint16_t>((m->status & 0xFF3F) | 0x80);
        m->flags |= kHostMarker;
        api.MAPIFreeBuffer(message);
        MailMsg* block = nullptr;
        const int made = m->ToMailMsg(&block);
        kept_.push_back(std::move(m));
        if (made != 0 || !block) return fail(kNoMemory);
        blocks.push_back(block);
        if (counter++ >= kStepsAnnounced) {
            counter = 0;
            Progress(kProgressSetStepCount, kStepsAnnounced);
        }
        Progress(kProgressAdvanceStep, 0);
        seed = id;
    }
    if (!inet::HandOutBlocks(blocks, out, count)) return kNoMemory;
    Log("SMAPI: Getting all messages finishing.");
    return 0;
}

int CSmapiHost::MarkRead(const MailMsg* msg) {
    if (!HasMarker(msg) || !session_) return kRefused;
    MapiMessage* message = nullptr;
    if (api.MAPIReadMail(session_, 0, IdText(msg).c_str(), MAPI_ENVELOPE_ONLY, 0, &message) != SUCCESS_SUCCESS)
        return kRefused;
    api.MAPIFreeBuffer(message);
    return 0;
}

int CSmapiHost::Delete(const MailMsg* msg) {
    if (!HasMarker(msg) || !session_) return kRefused;
    MarkRead(msg);
    if (api.MAPIDeleteMail(session_, 0, IdText(msg).c_str(), 0, 0) != SUCCESS_SUCCESS) {
        Log("SMAPI: A message was requested to be deleted but is either not on the host or has an invalid ID");
        return kRefused;
    }
    return 0;
}

int CSmapiHost::Send(const MailMsg* msg, bool save) {
    if (!msg) return kNoMemory;
    Log(inet::Described("SMAPI: Beginning to send message.", msg));
    const CMsg m(msg);
    MapiMessage message{};
    message.lpszSubject = const_cast<char*>(m.Subject.c_str());
    message.lpszNoteText = const_cast<char*>(m.Body.c_str());
    if (m.status & 0x3000) message.flFlags |= MAPI_RECEIPT_REQUESTED;

    // The texts and records the message points into live here until the call returns.
    std::vector<std::unique_ptr<std::string>> texts;
    std::vector<MapiRecipDesc*> resolved;
    std::vector<MapiRecipDesc> recips;
    auto keep = [&texts](std::string s) {
        texts.push_back(std::make_unique<std::string>(std::move(s)));
        return const_cast<char*>(texts.back()->c_str());
    };
    const struct {
        const std::string* list;
        ULONG type;
    } lists[] = {{&m.To, MAPI_TO}, {&m.Cc, MAPI_CC}, {&m.Bcc, MAPI_BCC}};
    for (const auto& l : lists) {
        std::string list = Lower(*l.list);
        for (std::string entry = tess::PopAddressToken(list, semicolons_); !entry.empty();
             entry = tess::PopAddressToken(list, semicolons_)) {
            if (const size_t colon = entry.find(':'); colon != std::string::npos) entry = entry.substr(colon + 1);
            MapiRecipDesc r{};
            r.ulRecipClass = l.type;
            MapiRecipDesc* found = nullptr;
            if (api.MAPIResolveName(session_, 0, entry.c_str(), 0, 0, &found) == SUCCESS_SUCCESS && found) {
                resolved.push_back(found);
                r.lpszName = found->lpszName;
                r.lpszAddress = found->lpszAddress;
                r.ulEIDSize = found->ulEIDSize;
                r.lpEntryID = found->lpEntryID;
            } else {
                r.lpszName = keep(entry);
            }
            recips.push_back(r);
        }
    }
    std::vector<MapiFileDesc> files;
    for (const auto& path : m.AttachmentNameList()) {
        MapiFileDesc f{};
        f.nPosition = 0xFFFFFFFFu;
        f.lpszPathName = keep(path);
        files.push_back(f);
    }
    message.nRecipCount = static_cast<ULONG>(recips.size());
    message.lpRecips = recips.empty() ? nullptr : recips.data();
    message.nFileCount = static_cast<ULONG>(files.size());
    message.lpFiles = files.empty() ? nullptr : files.data();

    ULONG rc;
    if (save) {
        char id[kIdBuffer] = {};
        rc = api.MAPISaveMail(session_, 0, &message, 0, 0, id);
    } else {
        rc = api.MAPISendMail(session_, 0, &message, 0, 0);
    }
    for (MapiRecipDesc* r : resolved) api.MAPIFreeBuffer(r);
    if (rc != SUCCESS_SUCCESS) {
        char line[64];
        std::snprintf(line, sizeof line, "%s %s 0x%08x ", "SMAPI", save ? "MAPISaveMail" : "MAPISendMail",
                      static_cast<unsigned>(rc));
        Log(line);
        if (rc == MAPI_E_INSUFFICIENT_MEMORY) return kNoMemory;
        return save ? kRefused : kSendFailed;
    }
    Log("SMAPI: Finishing send message.");
    return 0;
}

int CSmapiHost::GetAttachments(int idLength, const void* idBytes, AttachmentTable** out) {
    if (!attachments_) return kNoAttachmentsWanted;
    Log("SMAPI: Beginning to get attachments for message.");
    if (!idBytes || idLength <= 0 || !out) return kNullList;
    const CMsg* found = nullptr;
    for (const auto& m : kept_) {
        // Ids are text: the engine may hand one back with or without its terminating zero.
        const std::string a(reinterpret_cast<const char*>(m->msgId.GetData(nullptr)));
        const std::string b(static_cast<const char*>(idBytes), strnlen(static_cast<const char*>(idBytes), idLength));
        if (a == b) {
            found = m.get();
            break;
        }
    }
    if (!found) return kNullList;
    const std::vector<std::string> paths = found->AttachmentNameList();
    if (!paths.empty()) {
        *out = inet::MakeAttachmentTable(paths, [this](const std::string& line) { Log(line); });
        if (!*out) return kNullList;
    }
    return 0;
}

}  // namespace smapi
