#pragma once
// Property-bag behaviour shared by every object: values in asked order with error values
// for what is missing, texts above the value limit only through a stream, and streams
// that write back on Commit.
#include <functional>
#include <memory>

#include "platform/mapi/backing.h"
#include "platform/mapi/mapi_interfaces.h"

namespace platform::mapi {

// A stream over a copy of a property's bytes; Commit hands them to `commit`.
class TESS_EXPORT MemoryStream : public IStream {
public:
    MemoryStream(std::vector<uint8_t> bytes, std::function<HRESULT(const std::vector<uint8_t>&)> commit);
    HRESULT Read(void* buffer, ULONG size, ULONG* read) override;
    HRESULT Write(const void* buffer, ULONG size, ULONG* written) override;
    HRESULT Stat(uint64_t* size) override;
    HRESULT SetSize(uint64_t size) override;
    HRESULT Seek(int64_t offset, int origin, uint64_t* position) override;
    HRESULT Commit() override;
    HRESULT CopyTo(IStream* target, uint64_t size, uint64_t* read, uint64_t* written) override;

private:
    std::vector<uint8_t> bytes_;
    size_t position_ = 0;
    std::function<HRESULT(const std::vector<uint8_t>&)> commit_;
};

template <class Interface>
class PropBag : public Interface {
public:
    HRESULT GetProps(const SPropTagArray& tags, ULONG, std::vector<SPropValue>& values) override {
        values.clear();
        PropMap all = view();
        if (tags.empty()) {
            for (auto& [tag, v] : all) values.push_back(limited(v));
            return S_OK;
        }
        bool errors = false;
        for (ULONG tag : tags) {
            auto it = all.find(tag);
            values.push_back(it != all.end() ? limited(it->second) : SPropValue::Error(tag, MAPI_E_NOT_FOUND));
            errors = errors || values.back().isError();
        }
        return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
    }
    HRESULT SetProps(const std::vector<SPropValue>& values) override {
        for (const auto& v : values) {
            if (v.isError()) return MAPI_E_INVALID_PARAMETER;
            props()[v.ulPropTag] = v;
        }
        return S_OK;
    }
    HRESULT DeleteProps(const SPropTagArray& tags) override {
        for (ULONG t : tags) props().erase(t);
        return S_OK;
    }
    HRESULT OpenProperty(ULONG tag, ULONG flags, std::shared_ptr<IStream>& stream) override {
        const ULONG type = PROP_TYPE(tag);
        if (type != PT_STRING8 && type != PT_BINARY) return MAPI_E_NO_SUPPORT;
        PropMap all = view();
        auto it = all.find(tag);
        std::vector<uint8_t> bytes;
        if (it != all.end())
            bytes =
                type == PT_BINARY ? it->second.bin : std::vector<uint8_t>(it->second.str.begin(), it->second.str.end());
        else if (!(flags & MAPI_CREATE))
            return MAPI_E_NOT_FOUND;
        if (flags & MAPI_CREATE) bytes.clear();
        const bool writable = flags & (MAPI_MODIFY | MAPI_CREATE);
        // The stream keeps its object alive: Commit writes into it.
        stream = std::make_shared<MemoryStream>(
            std::move(bytes), [this, self = keepAlive(), tag, type, writable](const std::vector<uint8_t>& b) {
                if (!writable) return MAPI_E_NO_SUPPORT;
                SPropValue v;
                v.ulPropTag = tag;
                if (type == PT_BINARY)
                    v.bin = b;
                else
                    v.str.assign(b.begin(), b.end());
                props()[tag] = std::move(v);
                return S_OK;
            });
        return S_OK;
    }

protected:
    virtual PropMap& props() = 0;
    // The stored properties with the computed ones laid over them.
    virtual PropMap view() { return props(); }
    virtual size_t textLimit() const { return 32768; }
    virtual std::shared_ptr<void> keepAlive() = 0;

private:
    SPropValue limited(const SPropValue& v) const {
        if (PROP_TYPE(v.ulPropTag) == PT_STRING8 && v.str.size() > textLimit())
            return SPropValue::Error(v.ulPropTag, MAPI_E_NOT_ENOUGH_MEMORY);
        return v;
    }
};

}  // namespace platform::mapi
