#pragma once
// The texts of new messages between their collection from the host and their turn to be
// written to the handheld, kept in an unnamed temporary file instead of memory: a
// mailbox's worth of texts held at once made the memory a first synchronisation needs
// grow with the mailbox. A text that cannot be written out stays in its message.
#include <cstdint>
#include <cstdio>
#include <unordered_map>

class CMsg;

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
    // Forgets every text put out and empties the file.
    void Clear();

private:
    struct Span {
        uint64_t at = 0;
        size_t size = 0;
    };
    std::FILE* file_ = nullptr;
    uint64_t end_ = 0;
    bool full_ = false;  // the file took no more: texts stay in memory
    std::unordered_map<const CMsg*, Span> held_;
};

}  // namespace tess::engine
