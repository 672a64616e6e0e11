// Installing translator plug-ins, their settings and the extension table.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/core/registry.h"
#include "translate/manager/hollowmere.h"
#include "translate/manager/plugin_store.h"

using namespace tess::translate;

namespace {

bool Empty(const char* s) { return !s || !*s; }

// Values every plug-in has; they are not settings and cannot be deleted as such.
constexpr const char* kReservedNames[] = {"Display", "Component", "ConvertFrom", "ConvertTo", "Version", "Company"};

RegistryValue Text(const char* name, const char* text) { return RegistryValue{name, REG_SZ, text ? text : "", 0}; }

}  // namespace

int InstallPlugin(const TranslatorInstallRecord* r) {
    if (!r || Empty(r->name) || Empty(r->Display) || Empty(r->Component) || Empty(r->ConvertFrom) ||
        Empty(r->ConvertTo) || Empty(r->Company))
        return 1;
    const auto commas = [](const char* s) { return std::count(s, s + std::strlen(s), ','); };
    if (commas(r->ConvertFrom) != commas(r->ConvertTo)) return 1;
    PluginStore& store = Store();
    store.SetValue(r->name, Text("Display", r->Display));
    store.SetValue(r->name, Text("Component", r->Component));
    store.SetValue(r->name, RegistryValue{"Version", REG_DWORD, {}, r->Version});
    store.SetValue(r->name, Text("ConvertFrom", r->ConvertFrom));
    store.SetValue(r->name, Text("ConvertTo", r->ConvertTo));
    store.SetValue(r->name, Text("Company", r->Company));
    return 0;
}

int UnInstallPlugin(const char* name) {
    if (Empty(name)) return 1;
    return Store().DeletePluginKey(name) ? 0 : 7;
}

int AddPluginSetting(const PluginSettingRecord* r) {
    if (!r || Empty(r->plugin) || Empty(r->name) || (r->type != REG_SZ && r->type != REG_DWORD)) return 1;
    RegistryValue v;
    v.name = r->name;
    v.type = static_cast<uint32_t>(r->type);
    if (r->type == REG_SZ) v.text = r->text ? r->text : "";
    else v.number = r->number ? *r->number : 0;
    return Store().SetValue(r->plugin, v) ? 0 : 2;
}

int DeletePluginSetting(const PluginSettingRecord* r) {
    if (!r || Empty(r->plugin) || Empty(r->name)) return 1;
    for (const char* reserved : kReservedNames)
        if (std::strcmp(r->name, reserved) == 0) return 3;
    return Store().DeleteValue(r->plugin, r->name) ? 0 : 3;
}

int GetPluginSetting(PluginSettingRecord* r) {
    if (!r || Empty(r->plugin) || Empty(r->name) || !r->number) return 1;
    const RegistryValue* v = Store().GetValue(r->plugin, r->name);
    if (!v) return 5;
    r->type = static_cast<int>(v->type);
    if (v->type == REG_DWORD) {
        *r->number = v->number;
        return 0;
    }
    if (v->type != REG_SZ) return 4;
    const int length = static_cast<int>(v->text.size());
    if (!r->textSize || !r->text || length > *r->textSize) return 6;
    std::memcpy(r->text, v->text.c_str(), v->text.size() + 1);
    *r->textSize = length;
    return 0;
}

int AddExtensionSupport(const char* extension, const char* display) {
    if (Empty(extension) || Empty(display)) return 1;
    if (Store().GetValue("Extensions", extension)) return 2;
    return Store().SetValue("Extensions", Text(extension, display)) ? 0 : 2;
}
