#pragma once
// Sets TZ for one scope and puts the previous value back after.
#include <cstdlib>
#include <ctime>
#include <string>

namespace tess::test {

class ScopedZone {
public:
    explicit ScopedZone(const char* tz) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (old) saved_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedZone() {
        if (had_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedZone(const ScopedZone&) = delete;
    ScopedZone& operator=(const ScopedZone&) = delete;

private:
    std::string saved_;
    bool had_ = false;
};

}  // namespace tess::test
