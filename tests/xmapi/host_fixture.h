#pragma once
// What the MAPI hosts' tests share: a private runtime root with Extended MAPI marked
// installed, a memory profile "Work" over a MemoryBacking, the host library loaded fresh
// for each test, and a window that counts the progress messages it is sent.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/host_records.h"
#include "common/mail_msg.h"
#include "common/msg_record.h"
#include "platform/core/module.h"
#include "platform/mapi/mail_client_registration.h"
#include "platform/mapi/memory_backing.h"
#include "platform/mapi/profiles.h"
#include "platform/mapi/text_util.h"
#include "platform/ui/window_messages.h"
#include "tests/platform/mapi/mapi_test_support.h"
#include "tests/support/test_home.h"

namespace xmapi::test {

using tess::AttachmentTable;
using tess::FolderRecord;
using tess::MailMsg;
using tess::MsgIdDescriptor;

using tess::test::TempHome;
using tess::test::libDir;
using platform::mapi::test::workProfile;

// Counts the messages a window receives, by message number, and the wParams of each.
class CountingWindow {
public:
    CountingWindow()
        : hwnd_(platform::ui::createMessageWindow([this](unsigned m, WPARAM w, LPARAM) {
              received_[m].push_back(w);
              return LRESULT(0);
          })) {}
    ~CountingWindow() { platform::ui::destroyMessageWindow(hwnd_); }
    HWND handle() const { return hwnd_; }
    const std::vector<WPARAM>& of(unsigned message) { return received_[message]; }

private:
    HWND hwnd_;
    std::map<unsigned, std::vector<WPARAM>> received_;
};

// A library of the build, loaded for as long as the test holds it.
class HostLibrary : public platform::LoadedModule {
public:
    explicit HostLibrary(const char* file) : LoadedModule((libDir() / file).string()) {}
};

// The exports both desktop-client hosts give under the same signatures.
struct CommonExports {
    int (*Initialize)() = nullptr;
    int (*Uninitialize)() = nullptr;
    int (*Logoff)() = nullptr;
    int (*GetFolderList)(FolderRecord***, int*) = nullptr;
    int (*FreeFolderList)(FolderRecord**, int) = nullptr;
    int (*GetAllMsgs)(FolderRecord*, MailMsg***, int*, int) = nullptr;
    int (*FreeMailMsg)(MailMsg**, int) = nullptr;
    int (*SetMsgReadStatus)(FolderRecord*, const MailMsg*, int) = nullptr;
    int (*SendMsg)(const MailMsg*) = nullptr;
    int (*DeleteMsg)(FolderRecord*, const MailMsg*) = nullptr;
    int (*GetMessageAttachment)(FolderRecord*, int, const void*, AttachmentTable**) = nullptr;
    int (*FreeAttachment)(AttachmentTable**) = nullptr;
    int (*GetMsg)(FolderRecord*, const MsgIdDescriptor*, MailMsg**) = nullptr;
    int (*HostSupportsPartialMessages)() = nullptr;
};

// Binds an export by its name into the field of that name; fails the test when missing.
#define TESS_BIND_EXPORT(library, exports, name)                      \
    (exports).name = (library).Bind<decltype((exports).name)>(#name); \
    ASSERT_NE((exports).name, nullptr) << #name

inline void BindCommon(const HostLibrary& library, CommonExports& x) {
    TESS_BIND_EXPORT(library, x, Initialize);
    TESS_BIND_EXPORT(library, x, Uninitialize);
    TESS_BIND_EXPORT(library, x, Logoff);
    TESS_BIND_EXPORT(library, x, GetFolderList);
    TESS_BIND_EXPORT(library, x, FreeFolderList);
    TESS_BIND_EXPORT(library, x, GetAllMsgs);
    TESS_BIND_EXPORT(library, x, FreeMailMsg);
    TESS_BIND_EXPORT(library, x, SetMsgReadStatus);
    TESS_BIND_EXPORT(library, x, SendMsg);
    TESS_BIND_EXPORT(library, x, DeleteMsg);
    TESS_BIND_EXPORT(library, x, GetMessageAttachment);
    TESS_BIND_EXPORT(library, x, FreeAttachment);
    TESS_BIND_EXPORT(library, x, GetMsg);
    TESS_BIND_EXPORT(library, x, HostSupportsPartialMessages);
}

// A message as the mail system delivered it.
inline platform::mapi::StoredMessage Delivered(const std::string& subject, time_t delivered, bool read = false) {
    platform::mapi::StoredMessage m;
    m.props[PR_SUBJECT] = SPropValue::String(PR_SUBJECT, subject);
    m.props[PR_BODY] = SPropValue::String(PR_BODY, "Body of " + subject + "\r\n");
    m.props[PR_MESSAGE_DELIVERY_TIME] =
        SPropValue::Time(PR_MESSAGE_DELIVERY_TIME, platform::mapi::fileTimeFromUnix(delivered));
    m.props[PR_SENT_REPRESENTING_NAME] = SPropValue::String(PR_SENT_REPRESENTING_NAME, "Alice Archer");
    m.props[PR_SENT_REPRESENTING_ADDRTYPE] = SPropValue::String(PR_SENT_REPRESENTING_ADDRTYPE, "SMTP");
    m.props[PR_SENT_REPRESENTING_EMAIL_ADDRESS] =
        SPropValue::String(PR_SENT_REPRESENTING_EMAIL_ADDRESS, "alice@example.test");
    platform::mapi::PropMap to;
    to[PR_DISPLAY_NAME] = SPropValue::String(PR_DISPLAY_NAME, "Tess User");
    to[PR_ADDRTYPE] = SPropValue::String(PR_ADDRTYPE, "SMTP");
    to[PR_EMAIL_ADDRESS] = SPropValue::String(PR_EMAIL_ADDRESS, "tess@tess.test");
    to[PR_RECIPIENT_TYPE] = SPropValue::Long(PR_RECIPIENT_TYPE, MAPI_TO);
    m.recipients.push_back(to);
    m.read = read;
    return m;
}

class MemoryProfileTest : public testing::Test {
protected:
    void SetUp() override {
        platform::mapi::clearMemoryProfiles();
        ASSERT_TRUE(platform::mapi::registerDefaultMailClient("/usr/bin/true"));
        backing = std::make_shared<platform::mapi::MemoryBacking>();
        platform::mapi::registerMemoryProfile(workProfile(), backing);
    }
    void TearDown() override { platform::mapi::clearMemoryProfiles(); }

    std::vector<platform::mapi::StoredMessage> Folder(const std::string& name) {
        std::vector<platform::mapi::StoredMessage> list;
        backing->listMessages(name, list);
        return list;
    }

    TempHome home;
    std::shared_ptr<platform::mapi::MemoryBacking> backing;
};

}  // namespace xmapi::test
