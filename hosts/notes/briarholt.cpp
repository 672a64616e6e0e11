// The Notes host's exports over its one connection (hosts/notes/notes_session.h).
#include "hosts/notes/briarholt.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/language_module.h"
#include "hosts/inet/host_lists.h"
#include "hosts/inet/host_session.h"
#include "hosts/notes/notes_session.h"

using tess::AttachmentTable;
using tess::CLanguageModule;
using tess::FolderRecord;
using tess::FreeMailMsgBlock;
using tess::MailMsg;
using tess::MsgIdDescriptor;
using tess::NotesLogonRecord;

namespace {

constexpr const char* kLanguageLibrary = "BRIARLANG.DLL";
constexpr int kMaxFolders = 50;

using notes::App;

}  // namespace

TESS_API int Initialize() {
    CLanguageModule language(kLanguageLibrary, nullptr);
    return App().Initialize();
}

TESS_API int Uninitialize() {
    App().Uninitialize();
    return 0;
}

TESS_API int Logon(const NotesLogonRecord* record, int flags, int /*reserved*/) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    if (!record) return notes::kNoRecord;
    return App().Logon(*record, flags);
}

TESS_API int Logoff() {
    App().Logoff();
    return 0;
}

TESS_API int GetFolderList(FolderRecord*** out, int* count) {
    auto& app = App();
    if (!app.initialised || !app.mailDb || !out || !count) return 0;  // nothing to list before a logon
    const int n = static_cast<int>(std::min<size_t>(app.folders.size(), kMaxFolders));
    auto** list = static_cast<FolderRecord**>(std::calloc(n ? n : 1, sizeof(FolderRecord*)));
    if (!list) return notes::kNoRecord;
    for (int i = 0; i < n; ++i) {
        const auto& f = app.folders[i];
        auto* r = static_cast<FolderRecord*>(std::calloc(1, sizeof(FolderRecord)));
        char* name = r ? strdup(f.display.c_str()) : nullptr;
        void* extra = r ? std::malloc(sizeof(NOTEID)) : nullptr;
        if (!r || !name || !extra) {
            std::free(r);
            std::free(name);
            std::free(extra);
            inet::FreeFolderRecords(list, i);
            return notes::kNoRecord;
        }
        std::memcpy(extra, &f.id, sizeof(NOTEID));
        *r = FolderRecord{name, sizeof(NOTEID), extra, f.type};
        list[i] = r;
    }
    *out = list;
    *count = n;
    return 0;
}

TESS_API int FreeFolderList(FolderRecord** list, int count) {
    if (!list) return notes::kNoRecord;
    inet::FreeFolderRecords(list, count < 0 ? 0 : count);
    return 0;
}

TESS_API int GetAllMsgs(FolderRecord* folder, MailMsg*** out, int* count, int headersOnly) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    return App().GetAllMsgs(folder, out, count, headersOnly);
}

// Single messages, id lists and header lists are not offered: every message comes whole
// through GetAllMsgs.
namespace {
int NotOffered() { return 1; }
}  // namespace
TESS_API int GetMsg(FolderRecord*, const MsgIdDescriptor*, MailMsg**) { return NotOffered(); }
TESS_API int GetMsgIds(FolderRecord*, MailMsg***, int*) { return NotOffered(); }
TESS_API int GetMsgHeaders(FolderRecord*, MailMsg***, int*, MsgIdDescriptor**, int*) { return NotOffered(); }

TESS_API int FreeMailMsg(MailMsg** items, int count) {
    if (!items) return notes::kNoRecord;
    for (int i = 0; i < count; ++i) FreeMailMsgBlock(items[i]);
    std::free(items);
    return 0;
}

TESS_API int SetMsg(int) { return 0; }
TESS_API int SetMsgPriority(int, int, int) { return 0; }

TESS_API int SetMsgReadStatus(FolderRecord*, const MailMsg* msg, int read) { return App().SetReadStatus(msg, read); }

TESS_API int SendMsg(const MailMsg* msg) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    return App().SendMsg(msg);
}

TESS_API int DeleteMsg(FolderRecord*, const MailMsg* msg) { return App().DeleteMsg(msg); }

TESS_API int GetMessageAttachment(FolderRecord*, int idLength, const void* idBytes, AttachmentTable** out) {
    return App().GetMessageAttachment(idLength, idBytes, out);
}

TESS_API int FreeAttachment(AttachmentTable** table) {
    inet::FreeAttachmentTable(table);
    return 0;
}

TESS_API int HostSupportsPartialMessages() { return 0; }
