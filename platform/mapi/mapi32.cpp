#include "platform/mapi/mapi32.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <ctime>
#include <new>
#include <random>

#include "platform/mapi/prop_bag.h"
#include "platform/mapi/session.h"
#include "platform/mapi/table.h"
#include "platform/mapi/text_util.h"

namespace {

std::atomic<int> g_initialized{0};

// Buffers: a header before the caller's bytes links the blocks allocated "more" on it.
struct alignas(16) BufferHeader {
    uint32_t magic;
    BufferHeader* more;
};
constexpr uint32_t kBufferMagic = 0x4D415049;

BufferHeader* headerOf(void* p) { return static_cast<BufferHeader*>(p) - 1; }

void* allocate(ULONG size) {
    auto* h = static_cast<BufferHeader*>(std::calloc(1, sizeof(BufferHeader) + size));
    if (!h) return nullptr;
    h->magic = kBufferMagic;
    return h + 1;
}

class CallbackSink : public IMAPIAdviseSink {
public:
    CallbackSink(NOTIFCALLBACK cb, void* context) : cb_(cb), context_(context) {}
    ULONG OnNotify(const std::vector<NOTIFICATION>& n) override {
        return cb_(context_, static_cast<ULONG>(n.size()), n.data());
    }

private:
    NOTIFCALLBACK cb_;
    void* context_;
};

}  // namespace

HRESULT MAPIInitialize(void*) {
    ++g_initialized;
    return S_OK;
}

void MAPIUninitialize() {
    if (g_initialized > 0) --g_initialized;
}

HRESULT MAPILogonEx(ULONG, const char* profile, const char* password, ULONG flags,
                    std::shared_ptr<IMAPISession>* session) {
    if (!session) return MAPI_E_INVALID_PARAMETER;
    session->reset();
    if (g_initialized <= 0) return MAPI_E_NOT_INITIALIZED;
    std::string name = (flags & MAPI_USE_DEFAULT) || !profile ? std::string() : std::string(profile);
    std::shared_ptr<platform::mapi::Session> s;
    if (HRESULT hr = platform::mapi::logon(name, password ? password : "", s); FAILED(hr)) return hr;
    *session = s;
    return S_OK;
}

HRESULT MAPIAdminProfiles(ULONG, std::shared_ptr<IProfAdmin>* admin) {
    if (!admin) return MAPI_E_INVALID_PARAMETER;
    if (g_initialized <= 0) return MAPI_E_NOT_INITIALIZED;
    *admin = platform::mapi::profileAdmin();
    return S_OK;
}

HRESULT HrQueryAllRows(IMAPITable* table, const SPropTagArray* columns, const SRestriction* restriction, const void*,
                       int32_t maxRows, SRowSet** rows) {
    if (!rows) return MAPI_E_INVALID_PARAMETER;
    *rows = nullptr;
    auto out = std::make_unique<SRowSet>();
    HRESULT hr =
        platform::mapi::queryAllRows(table, columns, restriction, maxRows > 0 ? static_cast<ULONG>(maxRows) : 0, *out);
    if (FAILED(hr)) return hr;
    *rows = out.release();
    return S_OK;
}

void FreeProws(SRowSet* rows) { delete rows; }
void FreePadrlist(ADRLIST* list) { delete list; }

int32_t MAPIAllocateBuffer(ULONG size, void** buffer) {
    if (!buffer) return MAPI_E_INVALID_PARAMETER;
    *buffer = allocate(size);
    return *buffer ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

int32_t MAPIAllocateMore(ULONG size, void* parent, void** buffer) {
    if (!buffer || !parent || headerOf(parent)->magic != kBufferMagic) return MAPI_E_INVALID_PARAMETER;
    void* p = allocate(size);
    if (!p) return MAPI_E_NOT_ENOUGH_MEMORY;
    BufferHeader* h = headerOf(parent);
    headerOf(p)->more = h->more;
    h->more = headerOf(p);
    *buffer = p;
    return S_OK;
}

ULONG MAPIFreeBuffer(void* buffer) {
    if (!buffer) return S_OK;
    BufferHeader* h = headerOf(buffer);
    if (h->magic != kBufferMagic) return static_cast<ULONG>(MAPI_E_INVALID_PARAMETER);
    while (h) {
        BufferHeader* next = h->more;
        h->magic = 0;
        std::free(h);
        h = next;
    }
    return S_OK;
}

HRESULT OpenStreamOnFile(const char* fileName, ULONG flags, std::shared_ptr<IStream>* stream) {
    if (!fileName || !stream) return MAPI_E_INVALID_PARAMETER;
    std::vector<uint8_t> bytes;
    const bool create = flags & 1;
    if (!create) {
        std::ifstream in(fileName, std::ios::binary);
        if (!in) return MAPI_E_NOT_FOUND;
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::string path = fileName;
    *stream = std::make_shared<platform::mapi::MemoryStream>(std::move(bytes), [path](const std::vector<uint8_t>& b) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
        return out ? S_OK : MAPI_E_NOT_ENOUGH_DISK;
    });
    return S_OK;
}

HRESULT HrGetOneProp(IMAPIProp* object, ULONG tag, SPropValue* value) {
    if (!object || !value) return MAPI_E_INVALID_PARAMETER;
    std::vector<SPropValue> v;
    HRESULT hr = object->GetProps({tag}, 0, v);
    if (FAILED(hr)) return hr;
    if (v.empty()) return MAPI_E_NOT_FOUND;
    if (v[0].isError()) return v[0].err;
    *value = std::move(v[0]);
    return S_OK;
}

HRESULT ScCreateConversationIndex(ULONG parentSize, const uint8_t* parent, std::vector<uint8_t>* index) {
    if (!index || (parentSize && !parent) || (parentSize && parentSize < 22)) return MAPI_E_INVALID_PARAMETER;
    const FileTime now = platform::mapi::fileTimeFromUnix(std::time(nullptr));
    std::random_device rd;
    if (!parentSize) {
        // A reserved byte, the top five bytes of the time, then a random 16-byte id.
        index->assign(1, 0x01);
        for (int shift = 56; shift >= 24; shift -= 8) index->push_back(static_cast<uint8_t>(now >> shift));
        for (int i = 0; i < 16; ++i) index->push_back(static_cast<uint8_t>(rd()));
        return S_OK;
    }
    // A reply: the parent's index and five bytes of time delta and randomness.
    index->assign(parent, parent + parentSize);
    const uint32_t delta = static_cast<uint32_t>(now >> 18);
    for (int shift = 24; shift >= 0; shift -= 8) index->push_back(static_cast<uint8_t>(delta >> shift));
    index->push_back(static_cast<uint8_t>(rd()));
    return S_OK;
}

HRESULT HrAllocAdviseSink(NOTIFCALLBACK callback, void* context, std::shared_ptr<IMAPIAdviseSink>* sink) {
    if (!callback || !sink) return MAPI_E_INVALID_PARAMETER;
    *sink = std::make_shared<CallbackSink>(callback, context);
    return S_OK;
}

HRESULT HrThisThreadAdviseSink(std::shared_ptr<IMAPIAdviseSink> sink, std::shared_ptr<IMAPIAdviseSink>* out) {
    if (!sink || !out) return MAPI_E_INVALID_PARAMETER;
    *out = std::move(sink);
    return S_OK;
}

void HrDispatchNotifications(IMAPISession* session) {
    auto* s = dynamic_cast<platform::mapi::Session*>(session);
    if (s && s->store()) s->store()->dispatchNotifications();
}

int HrNotificationFd(IMAPISession* session) {
    auto* s = dynamic_cast<platform::mapi::Session*>(session);
    return s && s->store() ? s->store()->backing().fd() : -1;
}
