#pragma once
// The texts of new messages between their collection from the host and their turn to be
// written to the handheld, kept in an unnamed temporary file instead of memory: a
// mailbox's worth of texts held at once made the memory a first synchronisation needs
// grow with the mailbox. A text that cannot be written out stays in its message.
// Where nothing looks at the new messages before they are written, they go out whole
// (PutWhole), so that not even their headers are held.
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

namespace tess {
class CMsg;
}  // namespace tess

namespace tess::engine {

class CBodySpill {
public:
    CBodySpill() = default;
    ~CBodySpill();
    CBodySpill(const CBodySpill&) = delete;
    CBodySpill& operator=(const CBodySpill&) = delete;

    // Moves the message's text out to the file; short texts stay where they are.
    void Put(CMsg& msg);
    // Gives the message its text back; false when the text was put out and cannot be read
    // back (the message then has none).
    bool Take(CMsg& msg);
    // Moves a whole message out to the file, in its folder key's order; false when it
    // cannot (it is then still the caller's, text included). Once one could not go out,
    // none after it does, so those put out come before any the caller kept.
    bool PutWhole(int key, std::unique_ptr<CMsg>& msg);
    // How many messages of the key went out whole.
    size_t WholeCount(int key) const;
    // The n-th message of the key put out whole, back in memory; null when it cannot be
    // read back.
    std::unique_ptr<CMsg> TakeWhole(int key, size_t n);
    // Forgets every text and message put out and empties the file.
    void Clear();

private:
    struct Span {
        uint64_t at = 0;
        size_t size = 0;
    };
    bool Write(const void* data, size_t size, Span& span);
    std::FILE* file_ = nullptr;
    uint64_t end_ = 0;
    bool full_ = false;  // the file took no more: texts stay in memory
    std::unordered_map<const CMsg*, Span> held_;
    std::map<int, std::vector<Span>> whole_;  // by folder key, in the order put
    bool wholeStopped_ = false;               // one could not go out whole: no more do
    std::vector<uint8_t> scratch_;            // one whole message on its way
};

}  // namespace tess::engine
