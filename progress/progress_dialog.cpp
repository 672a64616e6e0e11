#include "progress/progress_dialog.h"

#include <cstdint>

namespace tess::progress {
namespace {

struct CreatorLook {
    uint32_t creator;
    int icon;
    const char* title;
};

// The service's own icons and title strings (83-85).
constexpr CreatorLook kLooks[] = {
    {0x61736333u, 12003, "Avanzamento Tessaline(TM)"},   // 'asc3'
    {0x61646472u, 12002, "Avanzamento Rubrica Corvid"},  // 'addr'
    {0x64617465u, 12001, "Avanzamento Agenda Corvid"},   // 'date'
};

}  // namespace

// The bar's range is a 16-bit upper bound, as the control keeps it.
void ProgressBar::setRange(int count) {
    upper = static_cast<int>(static_cast<uint32_t>(count) & 0xFFFFu);
    position = 0;
}

void ProgressBar::setPosition(int value) { position = value < 0 ? 0 : (value > upper ? upper : value); }

// The position is counted in full: read back as a signed 16-bit value it would fall to
// empty half way along a bar of more than 32767 steps.
void ProgressBar::step() { setPosition(position + 1); }

bool CProgressDialog::Create() {
    created_ = true;
    visible_ = false;
    if (view_) view_->setVisible(false);
    refresh();
    return true;
}

void CProgressDialog::Show(bool visible) {
    visible_ = visible;
    if (view_) view_->setVisible(visible);
    refresh();
}

void CProgressDialog::ShowCreator(uint32_t creator) {
    const CreatorLook* look = nullptr;
    for (const auto& l : kLooks)
        if (l.creator == creator) look = &l;
    if (!look) return;
    if (icon_ != 0 && creator != creator_) icon_ = 0;
    creator_ = creator;
    if (icon_ == 0) {
        icon_ = look->icon;
        if (view_) view_->setIcon(icon_);
    }
    caption_ = look->title;
    if (view_) view_->setCaption(caption_);
}

void CProgressDialog::Start(int mainCount, const char* mainText, int subCount, const char* subText) {
    visible_ = true;
    if (view_) view_->setVisible(true);
    mainText_ = mainText ? mainText : "";
    subText_ = subText ? subText : "";
    main_.setRange(mainCount);
    sub_.setRange(subCount);
    refresh();
}

void CProgressDialog::SetMainText(const char* text) {
    mainText_ = text ? text : "";
    refresh();
}

void CProgressDialog::SetSubText(const char* text) {
    subText_ = text ? text : "";
    refresh();
}

void CProgressDialog::SetMainCount(int count) {
    main_.setRange(count);
    refresh();
}

void CProgressDialog::SetSubCount(int count) {
    sub_.setRange(count);
    refresh();
}

void CProgressDialog::StepMain() {
    main_.step();
    refresh();
}

void CProgressDialog::StepSub() {
    sub_.step();
    refresh();
}

void CProgressDialog::CacheState() { saved_ = Saved{main_, sub_, mainText_, subText_}; }

void CProgressDialog::RestoreState() {
    mainText_ = saved_.mainText;
    subText_ = saved_.subText;
    main_.upper = saved_.main.upper;
    main_.setPosition(saved_.main.position);
    sub_.upper = saved_.sub.upper;
    sub_.setPosition(saved_.sub.position);
    refresh();
}

ProgressSnapshot CProgressDialog::Snapshot() const {
    ProgressSnapshot s;
    s.exists = true;
    s.visible = visible_;
    s.caption = caption_;
    s.iconId = icon_;
    s.mainText = mainText_;
    s.subText = subText_;
    s.mainUpper = main_.upper;
    s.mainPosition = main_.position;
    s.subUpper = sub_.upper;
    s.subPosition = sub_.position;
    return s;
}

void CProgressDialog::refresh() {
    if (view_ && created_) view_->show(Snapshot());
}

}  // namespace tess::progress
