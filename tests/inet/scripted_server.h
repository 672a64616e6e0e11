#pragma once
// A one-connection loopback server that plays a fixed script, for what real servers
// cannot be made to do on demand: slow, broken or unusual replies. It records every
// line the client sent.
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace inet::test {

class ScriptedServer {
public:
    struct Step {
        enum Kind { kSend, kExpect, kPause, kClose, kReadBytes, kReadUntil } kind;
        std::string text;  // kSend: "{tag}" becomes the tag of the last line read
        int value = 0;     // kPause: ms; kReadBytes: count
    };
    static Step Send(std::string text) { return {Step::kSend, std::move(text)}; }
    // Reads one line; the script fails when it does not begin with prefix.
    static Step Expect(std::string prefix) { return {Step::kExpect, std::move(prefix)}; }
    static Step Pause(int ms) { return {Step::kPause, {}, ms}; }
    static Step Close() { return {Step::kClose, {}}; }
    static Step ReadBytes(int count) { return {Step::kReadBytes, {}, count}; }
    // Reads lines up to and including one equal to last; recorded as one entry, each
    // line followed by LF.
    static Step ReadUntil(std::string last) { return {Step::kReadUntil, std::move(last)}; }

    explicit ScriptedServer(std::vector<Step> script);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int port() const { return port_; }
    // Waits for the script to end; true when every Expect matched.
    bool Finish();
    // Lines the client sent (without CR LF), and any script mismatch.
    std::vector<std::string> received();
    std::string failure();

private:
    void Run(std::vector<Step> script);
    bool ReadLine(int fd, std::string& line);

    int listenFd_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> received_;
    std::string failure_;
    std::string pending_;
};

}  // namespace inet::test
