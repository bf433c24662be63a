#include "UIControl.h"

#include "UIManager.h"

#include <algorithm>

namespace SkinUI {

namespace {

int Clamp(int value, int low, int high) {
    return std::max(low, std::min(value, high));
}

LONG Width(const RECT& rc) {
    return rc.right - rc.left;
}
LONG Height(const RECT& rc) {
    return rc.bottom - rc.top;
}

}  // namespace

CContainerUI::~CContainerUI() {
    for (CControlUI* item : items_) {
        delete item;
    }
}

CControlUI* CContainerUI::GetItemAt(int index) const {
    return index >= 0 && index < GetCount() ? items_[static_cast<size_t>(index)] : nullptr;
}

int CContainerUI::GetItemIndex(CControlUI* control) const {
    auto it = std::find(items_.begin(), items_.end(), control);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

bool CContainerUI::Add(CControlUI* control) {
    return AddAt(control, GetCount());
}

bool CContainerUI::AddAt(CControlUI* control, int index) {
    if (control == nullptr || index < 0 || index > GetCount()) {
        return false;
    }
    items_.insert(items_.begin() + index, control);
    control->SetManager(manager_, this);
    NeedUpdate();
    return true;
}

bool CContainerUI::Remove(CControlUI* control) {
    int index = GetItemIndex(control);
    if (index < 0) {
        return false;
    }
    items_.erase(items_.begin() + index);
    if (manager_ != nullptr) {
        manager_->AddDelayedCleanup(control);
        NeedUpdate();
    } else {
        delete control;
    }
    return true;
}

void CContainerUI::SetInset(RECT rc) {
    inset_ = rc;
    NeedUpdate();
}

void CContainerUI::SetChildPadding(int padding) {
    childPadding_ = padding;
    NeedUpdate();
}

void CContainerUI::SetChildAlign(UINT align) {
    childAlign_ = align;
    NeedUpdate();
}

void CContainerUI::SetChildVAlign(UINT align) {
    childVAlign_ = align;
    NeedUpdate();
}

void CContainerUI::SetManager(CPaintManagerUI* manager, CControlUI* parent) {
    CControlUI::SetManager(manager, parent);
    for (CControlUI* item : items_) {
        item->SetManager(manager, this);
    }
}

void CContainerUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    if (name == L"inset") {
        SetInset(ParseRect(value));
    } else if (name == L"childpadding") {
        SetChildPadding(ParseInt(value));
    } else if (name == L"childalign") {
        SetChildAlign(value == L"center" ? DT_CENTER : (value == L"right" ? DT_RIGHT : DT_LEFT));
    } else if (name == L"childvalign") {
        SetChildVAlign(value == L"vcenter" ? DT_VCENTER : (value == L"bottom" ? DT_BOTTOM : DT_TOP));
    } else {
        CControlUI::SetAttribute(name, value);
    }
}

RECT CContainerUI::ContentRect() const {
    return RECT{rcItem_.left + inset_.left, rcItem_.top + inset_.top, rcItem_.right - inset_.right,
                rcItem_.bottom - inset_.bottom};
}

void CContainerUI::SetFloatPos(CControlUI* child) {
    const LONG width = Width(rcItem_);
    const LONG height = Height(rcItem_);
    const SIZE xy = child->GetFixedXY();
    const TFloatPercent& percent = child->GetFloatPercent();
    LONG left = rcItem_.left + xy.cx + static_cast<LONG>(width * percent.left);
    LONG top = rcItem_.top + xy.cy + static_cast<LONG>(height * percent.top);
    LONG cx = child->GetFixedWidth() + static_cast<LONG>(width * percent.right);
    LONG cy = child->GetFixedHeight() + static_cast<LONG>(height * percent.bottom);
    child->SetPos(RECT{left, top, left + cx, top + cy});
}

void CContainerUI::PlaceInContent(CControlUI* child, const RECT& content) {
    const RECT& pad = child->GetPadding();
    RECT rc{content.left + pad.left, content.top + pad.top, content.right - pad.right,
            content.bottom - pad.bottom};
    SIZE size = child->EstimateSize(SIZE{Width(rc), Height(rc)});
    LONG cx = size.cx != 0 ? size.cx : Width(rc);
    LONG cy = size.cy != 0 ? size.cy : Height(rc);
    rc.right = rc.left + Clamp(cx, child->GetMinWidth(), child->GetMaxWidth());
    rc.bottom = rc.top + Clamp(cy, child->GetMinHeight(), child->GetMaxHeight());
    child->SetPos(rc);
}

void CContainerUI::SetPos(RECT rc) {
    CControlUI::SetPos(rc);
    const RECT content = ContentRect();
    for (CControlUI* item : items_) {
        if (!item->IsVisible()) {
            continue;
        }
        if (item->IsFloat()) {
            SetFloatPos(item);
        } else {
            PlaceInContent(item, content);
        }
    }
}

CControlUI* CContainerUI::FindControlAt(POINT pt) {
    if (!visible_ || !::PtInRect(&rcItem_, pt)) {
        return nullptr;
    }
    // Later children paint over earlier ones, so they are asked first.
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
        if (CControlUI* found = (*it)->FindControlAt(pt)) {
            return found;
        }
    }
    return this;
}

void CContainerUI::ForEach(const std::function<void(CControlUI*)>& visit) {
    visit(this);
    for (CControlUI* item : items_) {
        item->ForEach(visit);
    }
}

void CContainerUI::DoPaint(CCanvas& canvas, const RECT& paint) {
    RECT clip{};
    if (!::IntersectRect(&clip, &paint, &rcItem_)) {
        return;
    }
    CControlUI::DoPaint(canvas, paint);
    for (CControlUI* item : items_) {
        if (item->IsVisible()) {
            item->DoPaint(canvas, clip);
        }
    }
}

void CContainerUI::StackChildren(bool vertical) {
    const RECT content = ContentRect();
    // "Main" runs along the stack, "cross" across it.
    const LONG contentMain = vertical ? Height(content) : Width(content);
    const LONG contentCross = vertical ? Width(content) : Height(content);
    const SIZE available{Width(content), Height(content)};
    const UINT crossAlign = vertical ? (childAlign_ == DT_CENTER  ? 1
                                        : childAlign_ == DT_RIGHT ? 2
                                                                  : 0)
                                     : (childVAlign_ == DT_VCENTER  ? 1
                                        : childVAlign_ == DT_BOTTOM ? 2
                                                                    : 0);
    struct Axes {
        LONG fixedMain, fixedCross, minMain, maxMain, minCross, maxCross;
        LONG padBefore, padAfter, crossBefore, crossAfter;
    };
    auto axesOf = [vertical, available](CControlUI* item) {
        const SIZE size = item->EstimateSize(available);
        const RECT& pad = item->GetPadding();
        if (vertical) {
            return Axes{size.cy,
                        size.cx,
                        item->GetMinHeight(),
                        item->GetMaxHeight(),
                        item->GetMinWidth(),
                        item->GetMaxWidth(),
                        pad.top,
                        pad.bottom,
                        pad.left,
                        pad.right};
        }
        return Axes{size.cx,
                    size.cy,
                    item->GetMinWidth(),
                    item->GetMaxWidth(),
                    item->GetMinHeight(),
                    item->GetMaxHeight(),
                    pad.left,
                    pad.right,
                    pad.top,
                    pad.bottom};
    };

    std::vector<CControlUI*> stacked;
    for (CControlUI* item : items_) {
        if (!item->IsVisible()) {
            continue;
        }
        if (item->IsFloat()) {
            SetFloatPos(item);
        } else {
            stacked.push_back(item);
        }
    }
    if (stacked.empty()) {
        return;
    }
    int adjustable = 0;
    int fixedTotal = childPadding_ * static_cast<int>(stacked.size() - 1);
    for (CControlUI* item : stacked) {
        const Axes a = axesOf(item);
        if (a.fixedMain == 0) {
            ++adjustable;
        } else {
            fixedTotal += Clamp(a.fixedMain, a.minMain, a.maxMain);
        }
        fixedTotal += a.padBefore + a.padAfter;
    }
    // Adjustable children share what is left; the last one takes the remainder of the division.
    const int remaining = contentMain - fixedTotal;
    const int share = adjustable > 0 ? std::max(0, remaining / adjustable) : 0;
    int adjusted = 0;
    LONG next = vertical ? content.top : content.left;
    const LONG crossStart = vertical ? content.left : content.top;
    const LONG crossEnd = vertical ? content.right : content.bottom;
    for (CControlUI* item : stacked) {
        const Axes a = axesOf(item);
        LONG main = a.fixedMain;
        if (main == 0) {
            ++adjusted;
            main = adjusted == adjustable ? std::max(0, remaining - share * (adjustable - 1)) : share;
        }
        main = Clamp(main, a.minMain, a.maxMain);
        const LONG room = contentCross - a.crossBefore - a.crossAfter;
        LONG cross = a.fixedCross != 0 ? a.fixedCross : room;
        cross = std::max<LONG>(std::min(cross, room), a.minCross);
        LONG crossPos = crossStart + a.crossBefore;
        if (crossAlign == 1) {
            crossPos = crossStart + (contentCross - cross) / 2;
        } else if (crossAlign == 2) {
            crossPos = crossEnd - a.crossAfter - cross;
        }
        const LONG mainPos = next + a.padBefore;
        item->SetPos(vertical ? RECT{crossPos, mainPos, crossPos + cross, mainPos + main}
                              : RECT{mainPos, crossPos, mainPos + main, crossPos + cross});
        next = mainPos + main + a.padAfter + childPadding_;
    }
}

void CVerticalLayoutUI::SetPos(RECT rc) {
    CControlUI::SetPos(rc);
    StackChildren(true);
}

void CHorizontalLayoutUI::SetPos(RECT rc) {
    CControlUI::SetPos(rc);
    StackChildren(false);
}

bool CTabLayoutUI::Add(CControlUI* control) {
    return AddAt(control, GetCount());
}

bool CTabLayoutUI::AddAt(CControlUI* control, int index) {
    if (!CContainerUI::AddAt(control, index)) {
        return false;
    }
    if (curSel_ < 0 && control->IsVisible()) {
        curSel_ = index;
    } else {
        if (index <= curSel_) {
            ++curSel_;
        }
        control->SetVisible(false);
    }
    return true;
}

bool CTabLayoutUI::Remove(CControlUI* control) {
    int index = GetItemIndex(control);
    if (!CContainerUI::Remove(control)) {
        return false;
    }
    if (index == curSel_) {
        curSel_ = -1;
        if (GetCount() > 0) {
            SelectItem(std::min(index, GetCount() - 1), false);
        }
    } else if (index < curSel_) {
        --curSel_;
    }
    return true;
}

bool CTabLayoutUI::SelectItem(int index, bool notify) {
    if (index < 0 || index >= GetCount() || index == curSel_) {
        return false;
    }
    const int previous = curSel_;
    curSel_ = index;
    for (int i = 0; i < GetCount(); ++i) {
        items_[static_cast<size_t>(i)]->SetVisible(i == index);
    }
    NeedUpdate();
    if (manager_ != nullptr) {
        manager_->SetFocus(items_[static_cast<size_t>(index)]);
        if (notify) {
            manager_->SendNotify(this, L"tabselect", static_cast<WPARAM>(index),
                                 static_cast<LPARAM>(previous));
        }
    }
    return true;
}

void CTabLayoutUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    if (name == L"selectedid") {
        SelectItem(ParseInt(value), false);
    } else {
        CContainerUI::SetAttribute(name, value);
    }
}

}  // namespace SkinUI
