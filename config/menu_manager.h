#pragma once
// The frame's menu manager: tool-bar images beside the menu commands that have them, and
// each command's accelerator keys appended to its text ("\tAlt+Ctrl+Shift+key", the last
// table entry first). Menus are dressed when they open; system-menu ids are never touched.
#include <QIcon>
#include <QObject>
#include <map>
#include <string>
#include <vector>

class QMainWindow;
class QMenu;

namespace tess::config {

enum AccelFlags : uint8_t { FVIRTKEY = 0x01, FSHIFT = 0x04, FCONTROL = 0x08, FALT = 0x10 };

struct Accel {
    uint8_t flags = 0;
    uint16_t key = 0;  // a virtual-key code with FVIRTKEY, else the character
    uint16_t command = 0;
};

class CCoolMenuManager : public QObject {
public:
    // Dresses the frame's menus each time one opens.
    void Install(QMainWindow* frame);
    // Adds the images of one tool bar: a command without an image gets the next one. A tool
    // bar whose image size differs from the first one's is refused (false).
    bool LoadToolbar(int width, int height, const std::vector<std::pair<int, QIcon>>& buttons);
    // The frame's accelerator table.
    void SetAccelerators(const std::vector<Accel>& table);
    // Appends the command's accelerators to the text (cut at its TAB first); false, and the
    // text unchanged, when the command has none.
    bool AppendAcceleratorText(std::string& text, int command) const;
    int ImageIndex(int command) const;
    // The answer to a mnemonic key: none 0; one match its position | 0x20000 (execute);
    // several: the first after the highlighted item (wrapping) | 0x30000 (select).
    static int MenuChar(const std::vector<std::string>& texts, int highlighted, char key);
    // Puts images and accelerator texts on the menu's commands.
    void Dress(QMenu* menu) const;

private:
    int width_ = 0, height_ = 0;
    std::vector<QIcon> images_;
    std::map<int, int> imageOf_;
    std::vector<Accel> table_;
    std::vector<int> back_;      // distance to the previous entry of the same command, 0 none
    std::map<int, int> lastOf_;  // command -> its last table entry
};

}  // namespace tess::config
