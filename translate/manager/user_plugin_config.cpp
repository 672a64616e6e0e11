// Each user's choice of translator per extension, and the extension table.
#include <strings.h>

#include <cstdio>
#include <ctime>
#include <new>
#include <string>

#include "platform/core/registry.h"
#include "translate/manager/hollowmere.h"
#include "translate/manager/plugin_store.h"

using tess::translate::manager::ExtensionChoice;
using tess::translate::manager::ExtensionPluginPair;

using platform::mfc::CAutoDeleteList;
using platform::mfc::CString;

using namespace tess::translate::manager;

namespace {

constexpr const char* kExtensions = "Extensions";
constexpr const char* kInformation = "Information";
constexpr const char* kCreated = "Created";

// The library's string table, entries 1 to 20: extension and name in pairs, written in
// this order after "Information".
constexpr const char* kDefaultTable[][2] = {
    {"doc", "Microsoft Word"}, {"xls|xlt", "Microsoft Excel"}, {"ppt", "Power Point Presentation"},
    {"html|htm", "Web Page"},  {"pdf", "Adobe Acrobat"},       {"zip", "Compressed File"},
    {"wav", "Sound File"},     {"gif", "GIF Image"},           {"bmp", "Bitmap Image"},
    {"jpeg|jpg", "JPG Image"},
};

bool Empty(const char* s) { return !s || !*s; }
std::string UserKey(int userId) { return std::to_string(userId); }

void EnsureDefaultTable() {
    PluginStore& store = Store();
    if (store.GetValue(kExtensions, kInformation)) return;
    const char* const note = "Do not manually add or delete settings here.";
    bool whole = store.SetValue(kExtensions, RegistryValue{kInformation, REG_SZ, note, 0});
    for (const auto& row : kDefaultTable)
        whole = store.SetValue(kExtensions, RegistryValue{row[0], REG_SZ, row[1], 0}) && whole;
    // "Information" stands for a whole table: without it the rows are written again next time.
    if (!whole) store.DeleteValue(kExtensions, kInformation);
    store.ClearCache();
    store.LoadPluginCache();
}

// The target extension of e: the ConvertTo item at e's place in ConvertFrom; e in the
// last item, or not found, takes ConvertTo's last item.
std::string TargetOf(const std::string& from, const std::string& to, const std::string& e) {
    const auto fromItems = Tokens(from, ',');
    const auto toItems = Tokens(to, ',');
    size_t pos = 0;
    while (pos < fromItems.size() && fromItems[pos] != e) ++pos;
    if (pos + 1 >= fromItems.size()) return toItems.back();
    return pos < toItems.size() ? toItems[pos] : std::string();
}

bool Append(CAutoDeleteList<ExtensionPluginPair>& list, const std::string& extension, const std::string& plugin) {
    auto* pair = new (std::nothrow) ExtensionPluginPair{extension, plugin};
    if (!pair) return false;
    if (!list.AddTail(pair)) {
        delete pair;
        return false;
    }
    return true;
}

}  // namespace

int _LoadUserPluginConfiguration(int userId, CAutoDeleteList<ExtensionPluginPair>* list) {
    if (userId == 0 || !list) return 3;
    PluginStore& store = Store();
    const std::string user = UserKey(userId);
    if (!store.GetValue(user, kCreated)) {
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        char date[40];
        std::snprintf(date, sizeof date, "%02d/%02d/%04d", tm.tm_mon + 1, tm.tm_mday, tm.tm_year + 1900);
        store.SetValue(user, RegistryValue{kCreated, REG_SZ, date, 0});
        return 5;
    }
    const CPluginValueList* values = store.Find(user);
    std::vector<RegistryValue> choices = values ? values->values : std::vector<RegistryValue>{};
    for (const RegistryValue& v : choices) {
        if (strcasecmp(v.name.c_str(), kCreated) == 0 || v.type != REG_SZ) continue;
        const std::string e = Lower(v.name);
        const std::string& plugin = v.text;
        const RegistryValue* to = store.GetValue(plugin, "ConvertTo");
        const RegistryValue* from = store.GetValue(plugin, "ConvertFrom");
        if (!to || !from || to->type != REG_SZ || from->type != REG_SZ) continue;
        // A choice for an extension the plug-in no longer takes is dropped.
        if (!HasToken(from->text, ',', e)) {
            store.DeleteValue(user, v.name);
            continue;
        }
        const std::string target = TargetOf(from->text, to->text, e);
        if (!target.empty() && !Append(*list, target, plugin)) {
            list->RemoveAll();
            return 2;
        }
        const CPluginValueList* extensions = store.Find(kExtensions);
        if (!extensions) continue;
        for (const RegistryValue& group : extensions->values) {
            if (!HasToken(group.name, '|', e)) continue;
            for (const std::string& x : Tokens(group.name, '|'))
                if (!Append(*list, x, plugin)) {
                    list->RemoveAll();
                    return 2;
                }
            break;
        }
    }
    return list->IsEmpty() ? 6 : 8;
}

int _SetUserExtPlugin(int userId, const char* extension, const char* plugin) {
    if (userId == 0 || Empty(extension) || Empty(plugin)) return 3;
    return Store().SetValue(UserKey(userId), RegistryValue{extension, REG_SZ, plugin, 0}) ? 0 : 1;
}

int _DeleteUserExtPlugin(int userId, const char* extension) {
    if (userId == 0 || Empty(extension)) return 3;
    const std::string user = UserKey(userId);
    if (!Store().GetValue(user, kCreated)) return 5;
    std::string name = extension;
    name = name.substr(0, name.find('|'));
    return Store().DeleteValue(user, name) ? 0 : 1;
}

int _ClientSupportsFormat(const char* extension) {
    if (Empty(extension)) return 0;
    const CPluginValueList* extensions = Store().Find(kExtensions);
    if (!extensions) return 0;
    for (const RegistryValue& group : extensions->values)
        if (strcasecmp(group.name.c_str(), kInformation) != 0 && HasToken(group.name, '|', extension)) return 1;
    return 0;
}

int _IsOriginalFormat(const char* plugin, const char* extension) {
    if (Empty(plugin) || Empty(extension)) return 1;
    return HasToken(Store().Text(plugin, "ConvertTo"), ',', extension) ? 0 : 1;
}

int _LoadUIPluginSettings(int userId, CAutoDeleteList<ExtensionChoice>* list) {
    if (!list) return 3;
    EnsureDefaultTable();
    PluginStore& store = Store();
    const CPluginValueList* extensions = store.Find(kExtensions);
    const std::vector<RegistryValue> groups = extensions ? extensions->values : std::vector<RegistryValue>{};
    const std::string user = UserKey(userId);
    for (const RegistryValue& group : groups) {
        if (strcasecmp(group.name.c_str(), kInformation) == 0) continue;
        auto* choice = new (std::nothrow) ExtensionChoice;
        if (!choice || !list->AddTail(choice)) {
            delete choice;
            return 2;
        }
        choice->extensions = group.name;
        // The label shows the extensions as they were given.
        std::string pattern = "(*.";
        for (const char c : group.name) pattern += c == '|' ? std::string(" | *.") : std::string(1, c);
        pattern += ")";
        choice->label = group.text + " " + pattern;
        const std::string first = Tokens(group.name, '|').front();
        for (const CPluginValueList& plugin : store.Lists())
            if (HasToken(store.Text(plugin.key, "ConvertFrom"), ',', first))
                choice->choices.Add(CString(store.Text(plugin.key, "Display") + "," + plugin.key));

        const RegistryValue* chosen = store.GetValue(user, first);
        if (!chosen) continue;
        // Each choice ends in ",<plug-in name>"; the display name before it may hold commas.
        const std::string suffix = "," + Lower(chosen->text);
        bool matched = false;
        for (int i = 0; i < choice->choices.GetSize(); ++i) {
            const std::string text = choice->choices.GetAt(i).str();
            if (text.size() < suffix.size() || Lower(text.substr(text.size() - suffix.size())) != suffix) continue;
            choice->chosen = text.substr(0, text.size() - suffix.size());
            matched = true;
        }
        // A choice no listed plug-in stands for any more is forgotten (by a copy of its
        // name, as the cached one goes while the value is deleted).
        if (!matched) store.DeleteValue(user, std::string(chosen->name));
    }
    return 8;
}
