// Installing translator plug-ins, their settings and the extension table.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include "platform/core/registry.h"
#include "translate/manager/hollowmere.h"
#include "translate/manager/plugin_store.h"

using namespace tess::translate::manager;

namespace {

bool Empty(const char* s) { return !s || !*s; }

// Values every plug-in has; they are not settings and cannot be deleted as such.
constexpr const char* kReservedNames[] = {"Display", "Component", "ConvertFrom", "ConvertTo", "Version", "Company"};

RegistryValue Text(const char* name, const char* text) { return RegistryValue{name, REG_SZ, text ? text : "", 0}; }

}  // namespace

// A write the registry refuses stops the install and puts back what was there before,
// so that a registration is either the old one or the new one, never a mix of both.
int InstallPlugin(const TranslatorInstallRecord* r) {
    if (!r || Empty(r->name) || Empty(r->Display) || Empty(r->Component) || Empty(r->ConvertFrom) ||
        Empty(r->ConvertTo) || Empty(r->Company))
        return 1;
    const auto commas = [](const char* s) { return std::count(s, s + std::strlen(s), ','); };
    if (commas(r->ConvertFrom) != commas(r->ConvertTo)) return 1;
    PluginStore& store = Store();
    const RegistryValue values[] = {
        Text("Display", r->Display),         Text("Component", r->Component), {"Version", REG_DWORD, {}, r->Version},
        Text("ConvertFrom", r->ConvertFrom), Text("ConvertTo", r->ConvertTo), Text("Company", r->Company)};
    const CPluginValueList* existing = store.Find(r->name);
    const std::optional<CPluginValueList> before = existing ? std::optional<CPluginValueList>(*existing) : std::nullopt;
    for (size_t i = 0; i < std::size(values); ++i) {
        if (store.SetValue(r->name, values[i])) continue;
        if (!before) {
            store.DeletePluginKey(r->name);
            return 2;
        }
        for (size_t j = 0; j < i; ++j) {
            const auto old = std::find_if(before->values.begin(), before->values.end(), [&](const RegistryValue& v) {
                return strcasecmp(v.name.c_str(), values[j].name.c_str()) == 0;
            });
            if (old != before->values.end())
                store.SetValue(r->name, *old);
            else
                store.DeleteValue(r->name, values[j].name);
        }
        return 2;
    }
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
    if (r->type == REG_SZ)
        v.text = r->text ? r->text : "";
    else
        v.number = r->number ? *r->number : 0;
    return Store().SetValue(r->plugin, v) ? 0 : 2;
}

int DeletePluginSetting(const PluginSettingRecord* r) {
    if (!r || Empty(r->plugin) || Empty(r->name)) return 1;
    // Value names ignore letter case: "component" would delete the Component value.
    for (const char* reserved : kReservedNames)
        if (strcasecmp(r->name, reserved) == 0) return 3;
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
