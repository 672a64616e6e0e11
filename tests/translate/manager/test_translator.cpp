// Translator plug-ins for the tests: a library with the two translation exports and a
// registered class. From the original the text is upper-cased, back to the original it
// is lower-cased; the context counts the calls. An input that cannot be read fails.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/export.h"
#include "translate/manager/translator_class.h"

namespace {

bool Convert(const char* input, const std::string& suffix, bool upper, std::string* out) {
    std::ifstream in(input, std::ios::binary);
    if (!in) return false;
    std::stringstream s;
    s << in.rdbuf();
    std::string text = s.str();
    for (char& c : text)
        c = static_cast<char>(upper ? std::toupper(static_cast<unsigned char>(c))
                                    : std::tolower(static_cast<unsigned char>(c)));
    *out = std::string(input) + suffix;
    std::ofstream(*out, std::ios::binary) << text;
    return true;
}

int Run(const char* input, char* output, void* context, bool upper) {
    if (context) ++*static_cast<int*>(context);
    std::string path;
    if (!Convert(input, upper ? ".hh" : ".desk", upper, &path)) return 5;
    std::snprintf(output, 260, "%s", path.c_str());
    return 0;
}

class Translator final : public ITranslatorPlugin {
public:
    long QueryInterface(const char*, void**) override { return 1; }
    unsigned long AddRef() override { return ++refs_; }
    unsigned long Release() override {
        const unsigned long r = --refs_;
        if (r == 0) delete this;
        return r;
    }
    long Reserved() override { return 0; }
    long TranslateFromOriginal(BSTR input, BSTR* output, void* context) override {
        return run(input, output, context, true);
    }
    long TranslateToOriginal(BSTR input, BSTR* output, void* context) override {
        return run(input, output, context, false);
    }

private:
    long run(BSTR input, BSTR* output, void* context, bool upper) {
        if (context) *static_cast<int*>(context) += 100;
        std::string path;
        if (!Convert(input, upper ? ".class-hh" : ".class-desk", upper, &path)) return 1;
        std::snprintf(*output, SysStringByteLen(*output), "%s", path.c_str());
        return 0;
    }
    unsigned long refs_ = 1;
};

}  // namespace

TESS_API int TranslateFromOriginal(const char* input, char* output, void* context) {
    return Run(input, output, context, true);
}
TESS_API int TranslateToOriginal(const char* input, char* output, void* context) {
    return Run(input, output, context, false);
}

TESS_API int TessCreateInstance(const char* classId, const char* interfaceId, void** out) {
    if (std::strcmp(interfaceId, IID_ITranslatorPlugin) != 0 || !classId) return 1;
    *out = static_cast<ITranslatorPlugin*>(new Translator);
    return 0;
}
