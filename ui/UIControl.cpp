#include "UIControl.h"

#include "UIManager.h"

#include <algorithm>

namespace SkinUI {

CControlUI::CControlUI() = default;

CControlUI::~CControlUI() {
    if (manager_ != nullptr) {
        manager_->ReapObjects(this);
    }
}

void CControlUI::SetText(const std::wstring& text) {
    if (text_ == text) {
        return;
    }
    text_ = text;
    Invalidate();
}

void CControlUI::SetPos(RECT rc) {
    if (rc.right < rc.left) {
        rc.right = rc.left;
    }
    if (rc.bottom < rc.top) {
        rc.bottom = rc.top;
    }
    rcItem_ = rc;
}

void CControlUI::SetFixedWidth(int cx) {
    fixed_.cx = std::max(cx, 0);
    NeedUpdate();
}

void CControlUI::SetFixedHeight(int cy) {
    fixed_.cy = std::max(cy, 0);
    NeedUpdate();
}

void CControlUI::SetMinWidth(int cx) {
    minSize_.cx = std::max(cx, 0);
    NeedUpdate();
}

void CControlUI::SetMaxWidth(int cx) {
    maxSize_.cx = std::max(cx, 0);
    NeedUpdate();
}

void CControlUI::SetMinHeight(int cy) {
    minSize_.cy = std::max(cy, 0);
    NeedUpdate();
}

void CControlUI::SetMaxHeight(int cy) {
    maxSize_.cy = std::max(cy, 0);
    NeedUpdate();
}

void CControlUI::SetPadding(RECT rc) {
    padding_ = rc;
    NeedUpdate();
}

void CControlUI::SetFloat(bool value) {
    float_ = value;
    NeedUpdate();
}

void CControlUI::SetFixedXY(SIZE xy) {
    fixedXY_ = xy;
    NeedUpdate();
}

void CControlUI::SetFloatPercent(const TFloatPercent& percent) {
    floatPercent_ = percent;
    NeedUpdate();
}

void CControlUI::SetVisible(bool visible) {
    if (visible_ == visible) {
        return;
    }
    visible_ = visible;
    if (!visible && manager_ != nullptr && focused_) {
        manager_->SetFocus(nullptr);
    }
    NeedUpdate();
}

void CControlUI::SetEnabled(bool enabled) {
    if (enabled_ == enabled) {
        return;
    }
    enabled_ = enabled;
    Invalidate();
}

void CControlUI::SetFocus() {
    if (manager_ != nullptr) {
        manager_->SetFocus(this);
    }
}

void CControlUI::SetBkColor(DWORD argb) {
    if (bkColor_ == argb) {
        return;
    }
    bkColor_ = argb;
    Invalidate();
}

void CControlUI::SetBkImage(const std::wstring& description) {
    if (bkImage_ == description) {
        return;
    }
    bkImage_ = description;
    Invalidate();
}

void CControlUI::SetManager(CPaintManagerUI* manager, CControlUI* parent) {
    manager_ = manager;
    parent_ = parent;
}

void CControlUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    if (name == L"name") {
        SetName(value);
    } else if (name == L"text") {
        SetText(value);
    } else if (name == L"tooltip") {
        SetToolTip(value);
    } else if (name == L"width") {
        SetFixedWidth(ParseInt(value));
    } else if (name == L"height") {
        SetFixedHeight(ParseInt(value));
    } else if (name == L"minwidth") {
        SetMinWidth(ParseInt(value));
    } else if (name == L"minheight") {
        SetMinHeight(ParseInt(value));
    } else if (name == L"maxwidth") {
        SetMaxWidth(ParseInt(value));
    } else if (name == L"maxheight") {
        SetMaxHeight(ParseInt(value));
    } else if (name == L"padding") {
        SetPadding(ParseRect(value));
    } else if (name == L"bkcolor") {
        SetBkColor(ParseColor(value));
    } else if (name == L"bkimage") {
        SetBkImage(value);
    } else if (name == L"visible") {
        SetVisible(ParseBool(value));
    } else if (name == L"enabled") {
        SetEnabled(ParseBool(value));
    } else if (name == L"float") {
        if (value.find(L',') == std::wstring::npos) {
            SetFloat(ParseBool(value));
        } else {
            TFloatPercent percent;
            double* parts[4] = {&percent.left, &percent.top, &percent.right, &percent.bottom};
            const wchar_t* p = value.c_str();
            for (double* part : parts) {
                wchar_t* end = nullptr;
                *part = wcstod(p, &end);
                if (end == p || *end == L'\0') {
                    break;
                }
                p = end + 1;
            }
            SetFloatPercent(percent);
            SetFloat(true);
        }
    } else if (name == L"pos") {
        RECT rc = ParseRect(value);
        SetFixedXY(SIZE{rc.left, rc.top});
        SetFixedWidth(rc.right - rc.left);
        SetFixedHeight(rc.bottom - rc.top);
    } else {
        customAttributes_.emplace(name, value);
    }
}

void CControlUI::ApplyAttributeList(const std::wstring& list) {
    size_t pos = 0;
    while (pos < list.size()) {
        while (pos < list.size() && iswspace(list[pos])) {
            ++pos;
        }
        size_t equals = list.find(L'=', pos);
        if (equals == std::wstring::npos || equals + 1 >= list.size() || list[equals + 1] != L'"') {
            return;
        }
        size_t close = list.find(L'"', equals + 2);
        if (close == std::wstring::npos) {
            return;
        }
        SetAttribute(list.substr(pos, equals - pos), list.substr(equals + 2, close - equals - 2));
        pos = close + 1;
    }
}

std::wstring CControlUI::GetCustomAttribute(const std::wstring& name) const {
    auto it = customAttributes_.find(name);
    return it == customAttributes_.end() ? std::wstring() : it->second;
}

void CControlUI::Invalidate() {
    if (manager_ != nullptr && visible_) {
        manager_->Invalidate(rcItem_);
    }
}

void CControlUI::NeedUpdate() {
    if (manager_ != nullptr) {
        manager_->NeedUpdate();
        manager_->Invalidate();
    }
}

SIZE CControlUI::EstimateSize(SIZE) {
    return fixed_;
}

CControlUI* CControlUI::FindControlAt(POINT pt) {
    return visible_ && ::PtInRect(&rcItem_, pt) ? this : nullptr;
}

void CControlUI::ForEach(const std::function<void(CControlUI*)>& visit) {
    visit(this);
}

void CControlUI::Event(TEventUI& event) {
    if (!OnEvent(event)) {
        return;
    }
    DoEvent(event);
}

void CControlUI::DoEvent(TEventUI& event) {
    if (event.type == UIEVENT_SETFOCUS) {
        focused_ = true;
        Invalidate();
    } else if (event.type == UIEVENT_KILLFOCUS) {
        focused_ = false;
        Invalidate();
    }
}

bool CControlUI::Activate() {
    return visible_ && enabled_;
}

void CControlUI::DoPaint(CCanvas& canvas, const RECT& paint) {
    RECT clip{};
    if (!::IntersectRect(&clip, &paint, &rcItem_)) {
        return;
    }
    PaintBkColor(canvas, clip);
    PaintBkImage(canvas, clip);
    PaintStatusImage(canvas, clip);
    PaintText(canvas, clip);
}

void CControlUI::PaintBkColor(CCanvas& canvas, const RECT& clip) {
    if (bkColor_ != 0) {
        CRenderEngine::FillRect(canvas, rcItem_, bkColor_, clip);
    }
}

void CControlUI::PaintBkImage(CCanvas& canvas, const RECT& clip) {
    if (!bkImage_.empty()) {
        DrawImage(canvas, bkImage_, clip);
    }
}

void CControlUI::PaintStatusImage(CCanvas&, const RECT&) {}

void CControlUI::PaintText(CCanvas&, const RECT&) {}

bool CControlUI::DrawImage(CCanvas& canvas, const std::wstring& description, const RECT& clip,
                           const RECT* stretchTo) {
    if (manager_ == nullptr || description.empty()) {
        return false;
    }
    TImageDesc desc = ParseImageDesc(description);
    const TImageInfo* image = manager_->GetImage(desc);
    if (image == nullptr) {
        return false;
    }
    RECT source = desc.source;
    if (source.left == 0 && source.top == 0 && source.right == 0 && source.bottom == 0) {
        source = RECT{0, 0, image->width, image->height};
    }
    source.left = std::max<LONG>(0, std::min<LONG>(source.left, image->width));
    source.right = std::max<LONG>(source.left, std::min<LONG>(source.right, image->width));
    source.top = std::max<LONG>(0, std::min<LONG>(source.top, image->height));
    source.bottom = std::max<LONG>(source.top, std::min<LONG>(source.bottom, image->height));

    RECT target = stretchTo != nullptr ? *stretchTo : rcItem_;
    RECT limit = clip;
    const RECT& d = desc.dest;
    if (d.left != 0 || d.top != 0 || d.right != 0 || d.bottom != 0) {
        target =
            RECT{rcItem_.left + d.left, rcItem_.top + d.top, rcItem_.left + d.right, rcItem_.top + d.bottom};
        ::IntersectRect(&limit, &clip, &rcItem_);
    }
    CRenderEngine::DrawImage(canvas, *image, target, source, desc.corner, desc.hole, desc.xtiled, desc.ytiled,
                             desc.fade, limit);
    return true;
}

}  // namespace SkinUI
