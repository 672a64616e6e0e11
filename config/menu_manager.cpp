#include "config/menu_manager.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <cctype>

namespace tess::config {

namespace {

constexpr int kSystemIds = 0xF000;

std::string KeyName(const Accel& a) {
    if (!(a.flags & FVIRTKEY)) return std::string(1, char(a.key));
    if (a.key >= 0x70 && a.key <= 0x87) return "F" + std::to_string(a.key - 0x6F);
    switch (a.key) {
    case 0x08: return "Backspace";
    case 0x09: return "Tab";
    case 0x0D: return "Enter";
    case 0x1B: return "Esc";
    case 0x20: return "Space";
    case 0x2D: return "Ins";
    case 0x2E: return "Del";
    default: return std::string(1, char(std::toupper(a.key)));
    }
}

}  // namespace

void CCoolMenuManager::Install(QMainWindow* frame) {
    for (QMenu* menu : frame->menuBar()->findChildren<QMenu*>())
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { Dress(menu); });
}

bool CCoolMenuManager::LoadToolbar(int width, int height, const std::vector<std::pair<int, QIcon>>& buttons) {
    if (width_ && (width != width_ || height != height_)) return false;
    width_ = width;
    height_ = height;
    for (const auto& [command, icon] : buttons) {
        if (command == 0 || imageOf_.count(command)) continue;
        imageOf_[command] = int(images_.size());
        images_.push_back(icon);
    }
    return true;
}

void CCoolMenuManager::SetAccelerators(const std::vector<Accel>& table) {
    table_ = table;
    back_.assign(table.size(), 0);
    lastOf_.clear();
    for (size_t i = 0; i < table.size(); ++i) {
        auto it = lastOf_.find(table[i].command);
        if (it != lastOf_.end()) back_[i] = int(i) - it->second;
        lastOf_[table[i].command] = int(i);
    }
}

bool CCoolMenuManager::AppendAcceleratorText(std::string& text, int command) const {
    if (const size_t tab = text.find('\t'); tab != std::string::npos) text.erase(tab);
    auto it = lastOf_.find(command);
    if (it == lastOf_.end()) return false;
    bool first = true;
    for (int i = it->second;; i -= back_[size_t(i)]) {
        const Accel& a = table_[size_t(i)];
        text += first ? "\t" : ", ";
        first = false;
        if (a.flags & FALT) text += "Alt+";
        if (a.flags & FCONTROL) text += "Ctrl+";
        if (a.flags & FSHIFT) text += "Shift+";
        text += KeyName(a);
        if (back_[size_t(i)] == 0) break;
    }
    return true;
}

int CCoolMenuManager::ImageIndex(int command) const {
    auto it = imageOf_.find(command);
    return it == imageOf_.end() ? -1 : it->second;
}

int CCoolMenuManager::MenuChar(const std::vector<std::string>& texts, int highlighted, char key) {
    std::vector<int> hits;
    const char wanted = char(std::toupper(static_cast<unsigned char>(key)));
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::string& t = texts[i];
        for (size_t at = t.find('&'); at != std::string::npos && at + 1 < t.size(); at = t.find('&', at + 2)) {
            if (std::toupper(static_cast<unsigned char>(t[at + 1])) == wanted) {
                hits.push_back(int(i));
                break;
            }
        }
    }
    if (hits.empty()) return 0;
    if (hits.size() == 1) return hits[0] | 0x20000;
    for (int pos : hits)
        if (pos > highlighted) return pos | 0x30000;
    return hits[0] | 0x30000;
}

void CCoolMenuManager::Dress(QMenu* menu) const {
    for (QAction* action : menu->actions()) {
        bool numeric = false;
        const int command = action->objectName().toInt(&numeric);
        if (!numeric || command >= kSystemIds) continue;
        if (const int image = ImageIndex(command); image >= 0) action->setIcon(images_[size_t(image)]);
        std::string text = action->text().toStdString();
        if (AppendAcceleratorText(text, command)) action->setText(QString::fromStdString(text));
    }
}

}  // namespace tess::config
