#include "UIBase.h"
#include "UIControl.h"
#include "UIManager.h"

#include <algorithm>

namespace SkinUI {

CLabelUI::CLabelUI() = default;

void CLabelUI::SetTextStyle(UINT style) {
    textStyle_ = style;
    Invalidate();
}

void CLabelUI::SetFont(int index) {
    font_ = index;
    Invalidate();
}

void CLabelUI::SetTextColor(DWORD argb) {
    textColor_ = argb;
    Invalidate();
}

void CLabelUI::SetDisabledTextColor(DWORD argb) {
    disabledTextColor_ = argb;
    Invalidate();
}

void CLabelUI::SetTextPadding(RECT rc) {
    textPadding_ = rc;
    Invalidate();
}

RECT CLabelUI::GetTextRect() const {
    return RECT{rcItem_.left + textPadding_.left, rcItem_.top + textPadding_.top,
                rcItem_.right - textPadding_.right, rcItem_.bottom - textPadding_.bottom};
}

void CLabelUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    if (name == L"align") {
        // Substring matches, in this order: "vcenter" therefore centres horizontally.
        if (value.find(L"left") != std::wstring::npos) {
            textStyle_ &= ~(DT_CENTER | DT_RIGHT);
            textStyle_ |= DT_LEFT;
        }
        if (value.find(L"center") != std::wstring::npos) {
            textStyle_ &= ~(DT_LEFT | DT_RIGHT);
            textStyle_ |= DT_CENTER;
        }
        if (value.find(L"right") != std::wstring::npos) {
            textStyle_ &= ~(DT_LEFT | DT_CENTER);
            textStyle_ |= DT_RIGHT;
        }
        Invalidate();
    } else if (name == L"valign") {
        if (value.find(L"top") != std::wstring::npos) {
            textStyle_ &= ~(DT_BOTTOM | DT_VCENTER);
            textStyle_ |= DT_TOP;
        }
        if (value.find(L"vcenter") != std::wstring::npos) {
            textStyle_ &= ~(DT_TOP | DT_BOTTOM);
            textStyle_ |= DT_VCENTER;
        }
        if (value.find(L"bottom") != std::wstring::npos) {
            textStyle_ &= ~(DT_TOP | DT_VCENTER);
            textStyle_ |= DT_BOTTOM;
        }
        Invalidate();
    } else if (name == L"endellipsis") {
        SetTextStyle(ParseBool(value) ? (textStyle_ | DT_END_ELLIPSIS) : (textStyle_ & ~DT_END_ELLIPSIS));
    } else if (name == L"multiline") {
        SetTextStyle(ParseBool(value) ? ((textStyle_ & ~DT_SINGLELINE) | DT_WORDBREAK)
                                      : ((textStyle_ & ~DT_WORDBREAK) | DT_SINGLELINE));
    } else if (name == L"font") {
        SetFont(ParseInt(value));
    } else if (name == L"textcolor") {
        SetTextColor(ParseColor(value));
    } else if (name == L"disabledtextcolor") {
        SetDisabledTextColor(ParseColor(value));
    } else if (name == L"textpadding") {
        SetTextPadding(ParseRect(value));
    } else {
        CControlUI::SetAttribute(name, value);
    }
}

void CLabelUI::PaintText(CCanvas& canvas, const RECT& clip) {
    if (text_.empty() || manager_ == nullptr) {
        return;
    }
    DWORD color = enabled_ ? textColor_ : disabledTextColor_;
    if (color == 0) {
        color = enabled_ ? manager_->GetDefaultFontColor() : manager_->GetDefaultDisabledColor();
    }
    CRenderEngine::DrawText(canvas, GetTextRect(), text_, color, manager_->GetFont(font_), textStyle_, clip);
}

CButtonUI::CButtonUI() {
    textStyle_ = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
}

void CButtonUI::SetNormalImage(const std::wstring& d) {
    normalImage_ = d;
    Invalidate();
}

void CButtonUI::SetHotImage(const std::wstring& d) {
    hotImage_ = d;
    Invalidate();
}

void CButtonUI::SetPushedImage(const std::wstring& d) {
    pushedImage_ = d;
    Invalidate();
}

void CButtonUI::SetFocusedImage(const std::wstring& d) {
    focusedImage_ = d;
    Invalidate();
}

void CButtonUI::SetDisabledImage(const std::wstring& d) {
    disabledImage_ = d;
    Invalidate();
}

void CButtonUI::SetEnabled(bool enabled) {
    if (!enabled) {
        state_ &= ~(UISTATE_HOT | UISTATE_PUSHED | UISTATE_CAPTURED);
    }
    CLabelUI::SetEnabled(enabled);
}

void CButtonUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    if (name == L"normalimage") {
        SetNormalImage(value);
    } else if (name == L"hotimage") {
        SetHotImage(value);
    } else if (name == L"pushedimage") {
        SetPushedImage(value);
    } else if (name == L"focusedimage") {
        SetFocusedImage(value);
    } else if (name == L"disabledimage") {
        SetDisabledImage(value);
    } else {
        CLabelUI::SetAttribute(name, value);
    }
}

void CButtonUI::DoEvent(TEventUI& event) {
    switch (event.type) {
        case UIEVENT_KEYDOWN:
            if (event.wParam == VK_SPACE || event.wParam == VK_RETURN) {
                Activate();
            }
            return;
        case UIEVENT_BUTTONDOWN:
        case UIEVENT_DBLCLICK:
            if (enabled_ && ::PtInRect(&rcItem_, event.ptMouse)) {
                state_ |= UISTATE_PUSHED | UISTATE_CAPTURED;
                Invalidate();
            }
            return;
        case UIEVENT_MOUSEMOVE:
            if ((state_ & UISTATE_CAPTURED) != 0) {
                if (::PtInRect(&rcItem_, event.ptMouse)) {
                    state_ |= UISTATE_PUSHED;
                } else {
                    state_ &= ~UISTATE_PUSHED;
                }
                Invalidate();
            }
            return;
        case UIEVENT_BUTTONUP:
            if ((state_ & UISTATE_CAPTURED) != 0) {
                state_ &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
                Invalidate();
                if (::PtInRect(&rcItem_, event.ptMouse)) {
                    Activate();
                }
            }
            return;
        case UIEVENT_MOUSEENTER:
            if (enabled_) {
                state_ |= UISTATE_HOT;
                Invalidate();
            }
            return;
        case UIEVENT_MOUSELEAVE:
            state_ &= ~UISTATE_HOT;
            Invalidate();
            return;
        default:
            CLabelUI::DoEvent(event);
    }
}

bool CButtonUI::Activate() {
    if (!CLabelUI::Activate()) {
        return false;
    }
    if (manager_ != nullptr) {
        manager_->SendNotify(this, L"click");
    }
    return true;
}

void CButtonUI::PaintStateImage(CCanvas& canvas, const RECT& clip, const std::wstring& preferred) {
    if (!preferred.empty() && preferred != normalImage_ && DrawImage(canvas, preferred, clip)) {
        return;
    }
    DrawImage(canvas, normalImage_, clip);
}

void CButtonUI::PaintStatusImage(CCanvas& canvas, const RECT& clip) {
    const std::wstring* preferred = &normalImage_;
    if (!enabled_) {
        preferred = &disabledImage_;
    } else if ((state_ & UISTATE_PUSHED) != 0) {
        preferred = &pushedImage_;
    } else if ((state_ & UISTATE_HOT) != 0) {
        preferred = &hotImage_;
    } else if (focused_) {
        preferred = &focusedImage_;
    }
    PaintStateImage(canvas, clip, *preferred);
}

void COptionUI::Selected(bool selected, bool notify) {
    if (selected_ == selected) {
        return;
    }
    selected_ = selected;
    if (selected && !group_.empty() && manager_ != nullptr) {
        for (CControlUI* member : manager_->GetOptionGroup(group_)) {
            auto* option = dynamic_cast<COptionUI*>(member);
            if (option != nullptr && option != this) {
                option->Selected(false, notify);
            }
        }
    }
    Invalidate();
    if (notify && manager_ != nullptr) {
        manager_->SendNotify(this, L"selectchanged");
    }
}

void COptionUI::SetGroup(const std::wstring& group) {
    if (manager_ != nullptr && !group_.empty()) {
        manager_->RemoveOptionGroup(group_, this);
    }
    group_ = group;
    if (manager_ != nullptr && !group_.empty()) {
        manager_->AddOptionGroup(group_, this);
    }
}

void COptionUI::SetSelectedImage(const std::wstring& d) {
    selectedImage_ = d;
    Invalidate();
}

void COptionUI::SetSelectedHotImage(const std::wstring& d) {
    selectedHotImage_ = d;
    Invalidate();
}

void COptionUI::SetManager(CPaintManagerUI* manager, CControlUI* parent) {
    if (manager_ != nullptr && manager_ != manager && !group_.empty()) {
        manager_->RemoveOptionGroup(group_, this);
    }
    bool changed = manager_ != manager;
    CButtonUI::SetManager(manager, parent);
    if (changed && manager_ != nullptr && !group_.empty()) {
        manager_->AddOptionGroup(group_, this);
    }
}

void COptionUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    if (name == L"group") {
        SetGroup(value);
    } else if (name == L"selected") {
        Selected(ParseBool(value), false);
    } else if (name == L"selectedimage") {
        SetSelectedImage(value);
    } else if (name == L"selectedhotimage") {
        SetSelectedHotImage(value);
    } else {
        CButtonUI::SetAttribute(name, value);
    }
}

bool COptionUI::Activate() {
    if (!CButtonUI::Activate()) {
        return false;
    }
    Selected(group_.empty() ? !selected_ : true);
    return true;
}

void COptionUI::PaintStatusImage(CCanvas& canvas, const RECT& clip) {
    if (selected_) {
        if ((state_ & UISTATE_HOT) != 0 && !selectedHotImage_.empty() &&
            DrawImage(canvas, selectedHotImage_, clip)) {
            return;
        }
        if (!selectedImage_.empty() && DrawImage(canvas, selectedImage_, clip)) {
            return;
        }
    }
    // Like a button, but an option never shows the pushed state.
    const std::wstring* preferred = &normalImage_;
    if (!enabled_) {
        preferred = &disabledImage_;
    } else if ((state_ & UISTATE_HOT) != 0) {
        preferred = &hotImage_;
    } else if (focused_) {
        preferred = &focusedImage_;
    }
    PaintStateImage(canvas, clip, *preferred);
}

// The native single-line editor placed over a CEditUI while the user types.
class CEditWnd : public CWindowWnd {
public:
    explicit CEditWnd(CEditUI* owner) : owner_(owner) {}

    bool Init() {
        HWND parent = owner_->GetManager()->GetPaintWindow();
        UINT style = WS_CHILD | ES_AUTOHSCROLL;
        if ((owner_->GetTextStyle() & DT_RIGHT) != 0) {
            style |= ES_RIGHT;
        } else if ((owner_->GetTextStyle() & DT_CENTER) != 0) {
            style |= ES_CENTER;
        }
        if (owner_->IsPasswordMode()) {
            style |= ES_PASSWORD;
        }
        if (owner_->IsReadOnly()) {
            style |= ES_READONLY;
        }
        RECT rc = owner_->GetTextRect();
        if (Create(parent, nullptr, style, 0, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top) ==
            nullptr) {
            return false;
        }
        ::SendMessageW(hwnd_, WM_SETFONT,
                       reinterpret_cast<WPARAM>(owner_->GetManager()->GetFont(owner_->GetFont())), FALSE);
        ::SendMessageW(hwnd_, EM_LIMITTEXT, static_cast<WPARAM>(owner_->GetMaxChar()), 0);
        ::SendMessageW(hwnd_, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
        ::SetWindowTextW(hwnd_, owner_->GetText().c_str());
        int length = ::GetWindowTextLengthW(hwnd_);
        ::SendMessageW(hwnd_, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
        ::ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
        ::SetFocus(hwnd_);
        return true;
    }

    void Detach() { owner_ = nullptr; }
    void Reposition() {
        RECT rc = owner_->GetTextRect();
        ::SetWindowPos(hwnd_, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }

    const wchar_t* GetWindowClassName() const override { return L"SkinUIEditWnd"; }
    const wchar_t* GetSuperClassName() const override { return L"Edit"; }

    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
        if (uMsg == WM_KILLFOCUS) {
            LRESULT result = CWindowWnd::HandleMessage(uMsg, wParam, lParam);
            PostMessage(WM_CLOSE);
            return result;
        }
        if (owner_ != nullptr) {
            CPaintManagerUI* manager = owner_->GetManager();
            if (uMsg == kReflectBase + WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
                int length = ::GetWindowTextLengthW(hwnd_);
                std::wstring text(static_cast<size_t>(length) + 1, L'\0');
                ::GetWindowTextW(hwnd_, &text[0], length + 1);
                text.resize(static_cast<size_t>(length));
                owner_->text_ = text;
                manager->SendNotify(owner_, L"textchanged");
                return 0;
            }
            if (uMsg == kReflectBase + WM_CTLCOLOREDIT || uMsg == kReflectBase + WM_CTLCOLORSTATIC) {
                DWORD color =
                    owner_->GetTextColor() != 0 ? owner_->GetTextColor() : manager->GetDefaultFontColor();
                ::SetTextColor(reinterpret_cast<HDC>(wParam),
                               RGB((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF));
                ::SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
                return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
            }
            if (uMsg == WM_KEYDOWN && wParam == VK_RETURN) {
                manager->SendNotify(owner_, L"return");
            }
        }
        return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
    }

    void OnFinalMessage(HWND) override {
        if (owner_ != nullptr) {
            owner_->editWnd_ = nullptr;
            owner_->state_ &= ~UISTATE_FOCUSED;
            owner_->Invalidate();
        }
        delete this;
    }

private:
    CEditUI* owner_;
};

CEditUI::CEditUI() = default;

CEditUI::~CEditUI() {
    CloseNativeEdit();
}

void CEditUI::CloseNativeEdit() {
    if (editWnd_ != nullptr) {
        CEditWnd* wnd = editWnd_;
        editWnd_ = nullptr;
        wnd->Detach();
        ::DestroyWindow(wnd->GetHWND());
    }
}

HWND CEditUI::GetNativeEditWindow() const {
    return editWnd_ != nullptr ? editWnd_->GetHWND() : nullptr;
}

void CEditUI::SetMaxChar(int count) {
    maxChar_ = count;
    if (editWnd_ != nullptr) {
        ::SendMessageW(editWnd_->GetHWND(), EM_LIMITTEXT, static_cast<WPARAM>(count), 0);
    }
}

void CEditUI::SetReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    if (editWnd_ != nullptr) {
        ::SendMessageW(editWnd_->GetHWND(), EM_SETREADONLY, readOnly ? TRUE : FALSE, 0);
    }
}

void CEditUI::SetPasswordMode(bool password) {
    password_ = password;
    Invalidate();
}

void CEditUI::SetText(const std::wstring& text) {
    CLabelUI::SetText(text);
    if (editWnd_ != nullptr) {
        ::SetWindowTextW(editWnd_->GetHWND(), text.c_str());
    }
}

void CEditUI::SetVisible(bool visible) {
    CLabelUI::SetVisible(visible);
    if (!visible) {
        CloseNativeEdit();
    }
}

void CEditUI::SetEnabled(bool enabled) {
    CLabelUI::SetEnabled(enabled);
    if (!enabled) {
        state_ &= ~UISTATE_HOT;
        CloseNativeEdit();
    }
}

void CEditUI::SetPos(RECT rc) {
    CLabelUI::SetPos(rc);
    if (editWnd_ != nullptr) {
        editWnd_->Reposition();
    }
}

void CEditUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    if (name == L"maxchar") {
        SetMaxChar(ParseInt(value));
    } else if (name == L"readonly") {
        SetReadOnly(ParseBool(value));
    } else if (name == L"password") {
        SetPasswordMode(ParseBool(value));
    } else if (name == L"normalimage") {
        normalImage_ = value;
    } else if (name == L"hotimage") {
        hotImage_ = value;
    } else if (name == L"focusedimage") {
        focusedImage_ = value;
    } else if (name == L"disabledimage") {
        disabledImage_ = value;
    } else {
        CLabelUI::SetAttribute(name, value);
    }
}

void CEditUI::DoEvent(TEventUI& event) {
    switch (event.type) {
        case UIEVENT_MOUSEENTER:
            if (enabled_) {
                state_ |= UISTATE_HOT;
                Invalidate();
            }
            return;
        case UIEVENT_MOUSELEAVE:
            state_ &= ~UISTATE_HOT;
            Invalidate();
            return;
        case UIEVENT_BUTTONDOWN:
        case UIEVENT_DBLCLICK:
            if (enabled_ && visible_ && editWnd_ == nullptr && manager_ != nullptr &&
                manager_->GetPaintWindow() != nullptr) {
                auto* wnd = new CEditWnd(this);
                editWnd_ = wnd;
                state_ |= UISTATE_FOCUSED;
                if (!wnd->Init()) {
                    editWnd_ = nullptr;
                    state_ &= ~UISTATE_FOCUSED;
                    delete wnd;
                }
                Invalidate();
            }
            return;
        default:
            CLabelUI::DoEvent(event);
    }
}

void CEditUI::PaintStatusImage(CCanvas& canvas, const RECT& clip) {
    const std::wstring* preferred = &normalImage_;
    if (!enabled_) {
        preferred = &disabledImage_;
    } else if ((state_ & UISTATE_FOCUSED) != 0 || focused_) {
        preferred = &focusedImage_;
    } else if ((state_ & UISTATE_HOT) != 0) {
        preferred = &hotImage_;
    }
    if (!preferred->empty() && preferred != &normalImage_ && DrawImage(canvas, *preferred, clip)) {
        return;
    }
    DrawImage(canvas, normalImage_, clip);
}

void CEditUI::PaintText(CCanvas& canvas, const RECT& clip) {
    if (editWnd_ != nullptr) {
        return;  // the native editor shows the text
    }
    if (!password_) {
        CLabelUI::PaintText(canvas, clip);
        return;
    }
    std::wstring shown = text_;
    std::fill(shown.begin(), shown.end(), L'*');
    std::swap(shown, text_);
    CLabelUI::PaintText(canvas, clip);
    std::swap(shown, text_);
}

CProgressUI::CProgressUI() {
    textStyle_ = DT_CENTER | DT_TOP | DT_SINGLELINE;
}

void CProgressUI::SetHorizontal(bool horizontal) {
    horizontal_ = horizontal;
    Invalidate();
}

void CProgressUI::SetMinValue(int value) {
    min_ = value;
    Invalidate();
}

void CProgressUI::SetMaxValue(int value) {
    max_ = value;
    Invalidate();
}

void CProgressUI::SetValue(int value) {
    if (value_ == value) {
        return;
    }
    value_ = value;
    Invalidate();
}

void CProgressUI::SetForeImage(const std::wstring& d) {
    foreImage_ = d;
    Invalidate();
}

RECT CProgressUI::GetFillRect() const {
    const int high = max_ > min_ ? max_ : min_ + 1;
    const int value = std::max(min_, std::min(value_, high));
    RECT rc = rcItem_;
    if (horizontal_) {
        rc.right = rc.left + static_cast<LONG>(static_cast<int64_t>(rcItem_.right - rcItem_.left) *
                                               (value - min_) / (high - min_));
    } else {
        rc.top = rc.bottom - static_cast<LONG>(static_cast<int64_t>(rcItem_.bottom - rcItem_.top) *
                                               (value - min_) / (high - min_));
    }
    return rc;
}

void CProgressUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    if (name == L"hor") {
        SetHorizontal(ParseBool(value));
    } else if (name == L"min") {
        SetMinValue(ParseInt(value));
    } else if (name == L"max") {
        SetMaxValue(ParseInt(value));
    } else if (name == L"value") {
        SetValue(ParseInt(value));
    } else if (name == L"foreimage") {
        SetForeImage(value);
    } else {
        CLabelUI::SetAttribute(name, value);
    }
}

void CProgressUI::PaintStatusImage(CCanvas& canvas, const RECT& clip) {
    RECT fill = GetFillRect();
    if (fill.right > fill.left && fill.bottom > fill.top && !foreImage_.empty()) {
        DrawImage(canvas, foreImage_, clip, &fill);
    }
}

}  // namespace SkinUI
