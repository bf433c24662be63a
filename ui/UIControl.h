// The windowless controls.
#pragma once

#include "UIDefine.h"
#include "UIRender.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace SkinUI {

class CPaintManagerUI;

// Fractions of the parent's size by which a float control's offsets (left, top) and
// size (right: width, bottom: height) grow.
struct TFloatPercent {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

class CControlUI {
public:
    CControlUI();
    virtual ~CControlUI();
    CControlUI(const CControlUI&) = delete;
    CControlUI& operator=(const CControlUI&) = delete;

    virtual std::wstring GetClass() const { return L"ControlUI"; }

    const std::wstring& GetName() const { return name_; }
    void SetName(const std::wstring& name) { name_ = name; }
    virtual std::wstring GetText() const { return text_; }
    virtual void SetText(const std::wstring& text);
    const std::wstring& GetToolTip() const { return tooltip_; }
    void SetToolTip(const std::wstring& text) { tooltip_ = text; }

    const RECT& GetPos() const { return rcItem_; }
    virtual void SetPos(RECT rc);
    int GetFixedWidth() const { return fixed_.cx; }
    void SetFixedWidth(int cx);
    int GetFixedHeight() const { return fixed_.cy; }
    void SetFixedHeight(int cy);
    int GetMinWidth() const { return minSize_.cx; }
    void SetMinWidth(int cx);
    int GetMaxWidth() const { return maxSize_.cx; }
    void SetMaxWidth(int cx);
    int GetMinHeight() const { return minSize_.cy; }
    void SetMinHeight(int cy);
    int GetMaxHeight() const { return maxSize_.cy; }
    void SetMaxHeight(int cy);
    const RECT& GetPadding() const { return padding_; }
    void SetPadding(RECT rc);
    bool IsFloat() const { return float_; }
    void SetFloat(bool value);
    SIZE GetFixedXY() const { return fixedXY_; }
    void SetFixedXY(SIZE xy);
    const TFloatPercent& GetFloatPercent() const { return floatPercent_; }
    void SetFloatPercent(const TFloatPercent& percent);

    virtual bool IsVisible() const { return visible_; }
    virtual void SetVisible(bool visible);
    virtual bool IsEnabled() const { return enabled_; }
    virtual void SetEnabled(bool enabled);
    bool IsFocused() const { return focused_; }
    virtual void SetFocus();
    // Controls that take the focus when clicked.
    virtual bool AcceptsFocus() const { return false; }

    DWORD GetBkColor() const { return bkColor_; }
    void SetBkColor(DWORD argb);
    const std::wstring& GetBkImage() const { return bkImage_; }
    void SetBkImage(const std::wstring& description);

    CControlUI* GetParent() const { return parent_; }
    CPaintManagerUI* GetManager() const { return manager_; }
    virtual void SetManager(CPaintManagerUI* manager, CControlUI* parent);

    virtual void SetAttribute(const std::wstring& name, const std::wstring& value);
    // Applies a list written as name="value" pairs.
    void ApplyAttributeList(const std::wstring& list);
    std::wstring GetCustomAttribute(const std::wstring& name) const;

    void Invalidate();
    // Asks the window to lay its tree out again before the next paint or input.
    void NeedUpdate();

    // The size the control asks for: its fixed width and height (0 where not fixed).
    virtual SIZE EstimateSize(SIZE available);
    // The topmost visible control at `pt` within this subtree, or null.
    virtual CControlUI* FindControlAt(POINT pt);
    // Calls `visit` for this control and every descendant.
    virtual void ForEach(const std::function<void(CControlUI*)>& visit);

    void Event(TEventUI& event);
    virtual void DoEvent(TEventUI& event);
    virtual bool Activate();

    virtual void DoPaint(CCanvas& canvas, const RECT& paint);
    virtual void PaintBkColor(CCanvas& canvas, const RECT& clip);
    virtual void PaintBkImage(CCanvas& canvas, const RECT& clip);
    virtual void PaintStatusImage(CCanvas& canvas, const RECT& clip);
    virtual void PaintText(CCanvas& canvas, const RECT& clip);

    // Draws an image description relative to this control; `stretchTo` overrides the target
    // rectangle (used for the progress fill). False when the image is not available.
    bool DrawImage(CCanvas& canvas, const std::wstring& description, const RECT& clip,
                   const RECT* stretchTo = nullptr);

    CEventSource<TEventUI> OnEvent;
    CEventSource<TNotifyUI> OnNotify;

protected:
    CPaintManagerUI* manager_ = nullptr;
    CControlUI* parent_ = nullptr;
    std::wstring name_;
    std::wstring text_;
    std::wstring tooltip_;
    RECT rcItem_{};
    SIZE fixed_{};
    SIZE minSize_{0, 0};
    SIZE maxSize_{9999, 9999};
    RECT padding_{};
    bool float_ = false;
    SIZE fixedXY_{};
    TFloatPercent floatPercent_;
    bool visible_ = true;
    bool enabled_ = true;
    bool focused_ = false;
    DWORD bkColor_ = 0;
    std::wstring bkImage_;
    std::map<std::wstring, std::wstring> customAttributes_;
};

class CContainerUI : public CControlUI {
public:
    ~CContainerUI() override;
    std::wstring GetClass() const override { return L"ContainerUI"; }

    int GetCount() const { return static_cast<int>(items_.size()); }
    CControlUI* GetItemAt(int index) const;
    int GetItemIndex(CControlUI* control) const;
    // Takes ownership.
    virtual bool Add(CControlUI* control);
    virtual bool AddAt(CControlUI* control, int index);
    // Releases the control (later, when a window might still be dispatching to it).
    virtual bool Remove(CControlUI* control);

    const RECT& GetInset() const { return inset_; }
    void SetInset(RECT rc);
    int GetChildPadding() const { return childPadding_; }
    void SetChildPadding(int padding);
    // Cross-axis alignment of the children: DT_LEFT/DT_CENTER/DT_RIGHT and DT_TOP/DT_VCENTER/DT_BOTTOM.
    UINT GetChildAlign() const { return childAlign_; }
    void SetChildAlign(UINT align);
    UINT GetChildVAlign() const { return childVAlign_; }
    void SetChildVAlign(UINT align);

    void SetManager(CPaintManagerUI* manager, CControlUI* parent) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void SetPos(RECT rc) override;
    CControlUI* FindControlAt(POINT pt) override;
    void ForEach(const std::function<void(CControlUI*)>& visit) override;
    void DoPaint(CCanvas& canvas, const RECT& paint) override;

protected:
    RECT ContentRect() const;
    // Places a float child relative to this container's top-left corner.
    void SetFloatPos(CControlUI* child);
    // Gives each visible child the content rectangle shrunk by its padding, sized by its fixed size.
    void PlaceInContent(CControlUI* child, const RECT& content);
    // Stacks the visible, non-float children from the top (vertical) or from the left.
    void StackChildren(bool vertical);

    std::vector<CControlUI*> items_;
    RECT inset_{};
    int childPadding_ = 0;
    UINT childAlign_ = DT_LEFT;
    UINT childVAlign_ = DT_TOP;
};

class CVerticalLayoutUI : public CContainerUI {
public:
    std::wstring GetClass() const override { return L"VerticalLayoutUI"; }
    void SetPos(RECT rc) override;
};

class CHorizontalLayoutUI : public CContainerUI {
public:
    std::wstring GetClass() const override { return L"HorizontalLayoutUI"; }
    void SetPos(RECT rc) override;
};

class CTabLayoutUI : public CContainerUI {
public:
    std::wstring GetClass() const override { return L"TabLayoutUI"; }
    bool Add(CControlUI* control) override;
    bool AddAt(CControlUI* control, int index) override;
    bool Remove(CControlUI* control) override;
    int GetCurSel() const { return curSel_; }
    bool SelectItem(int index, bool notify = true);
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;

private:
    int curSel_ = -1;
};

class CLabelUI : public CControlUI {
public:
    CLabelUI();
    std::wstring GetClass() const override { return L"LabelUI"; }
    UINT GetTextStyle() const { return textStyle_; }
    void SetTextStyle(UINT style);
    int GetFont() const { return font_; }
    void SetFont(int index);
    DWORD GetTextColor() const { return textColor_; }
    void SetTextColor(DWORD argb);
    DWORD GetDisabledTextColor() const { return disabledTextColor_; }
    void SetDisabledTextColor(DWORD argb);
    const RECT& GetTextPadding() const { return textPadding_; }
    void SetTextPadding(RECT rc);
    RECT GetTextRect() const;

    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void PaintText(CCanvas& canvas, const RECT& clip) override;

protected:
    UINT textStyle_ = DT_LEFT | DT_VCENTER | DT_SINGLELINE;
    int font_ = -1;
    DWORD textColor_ = 0;
    DWORD disabledTextColor_ = 0;
    RECT textPadding_{};
};

class CButtonUI : public CLabelUI {
public:
    CButtonUI();
    std::wstring GetClass() const override { return L"ButtonUI"; }
    bool AcceptsFocus() const override { return true; }
    UINT GetState() const { return state_; }

    const std::wstring& GetNormalImage() const { return normalImage_; }
    void SetNormalImage(const std::wstring& d);
    const std::wstring& GetHotImage() const { return hotImage_; }
    void SetHotImage(const std::wstring& d);
    const std::wstring& GetPushedImage() const { return pushedImage_; }
    void SetPushedImage(const std::wstring& d);
    const std::wstring& GetFocusedImage() const { return focusedImage_; }
    void SetFocusedImage(const std::wstring& d);
    const std::wstring& GetDisabledImage() const { return disabledImage_; }
    void SetDisabledImage(const std::wstring& d);

    void SetEnabled(bool enabled) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void DoEvent(TEventUI& event) override;
    bool Activate() override;
    void PaintStatusImage(CCanvas& canvas, const RECT& clip) override;

protected:
    // Draws the first available description, falling back to the normal image.
    void PaintStateImage(CCanvas& canvas, const RECT& clip, const std::wstring& preferred);

    UINT state_ = 0;
    std::wstring normalImage_;
    std::wstring hotImage_;
    std::wstring pushedImage_;
    std::wstring focusedImage_;
    std::wstring disabledImage_;
};

class COptionUI : public CButtonUI {
public:
    std::wstring GetClass() const override { return L"OptionUI"; }
    bool IsSelected() const { return selected_; }
    void Selected(bool selected, bool notify = true);
    const std::wstring& GetGroup() const { return group_; }
    void SetGroup(const std::wstring& group);
    const std::wstring& GetSelectedImage() const { return selectedImage_; }
    void SetSelectedImage(const std::wstring& d);
    const std::wstring& GetSelectedHotImage() const { return selectedHotImage_; }
    void SetSelectedHotImage(const std::wstring& d);

    void SetManager(CPaintManagerUI* manager, CControlUI* parent) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    bool Activate() override;
    void PaintStatusImage(CCanvas& canvas, const RECT& clip) override;

private:
    bool selected_ = false;
    std::wstring group_;
    std::wstring selectedImage_;
    std::wstring selectedHotImage_;
};

class CEditWnd;

class CEditUI : public CLabelUI {
public:
    CEditUI();
    ~CEditUI() override;
    std::wstring GetClass() const override { return L"EditUI"; }
    bool AcceptsFocus() const override { return true; }
    UINT GetState() const { return state_; }
    int GetMaxChar() const { return maxChar_; }
    void SetMaxChar(int count);
    bool IsReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);
    bool IsPasswordMode() const { return password_; }
    void SetPasswordMode(bool password);

    void SetText(const std::wstring& text) override;
    void SetVisible(bool visible) override;
    void SetEnabled(bool enabled) override;
    void SetPos(RECT rc) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void DoEvent(TEventUI& event) override;
    void PaintStatusImage(CCanvas& canvas, const RECT& clip) override;
    void PaintText(CCanvas& canvas, const RECT& clip) override;

    // The native editing window, while it is open.
    HWND GetNativeEditWindow() const;

private:
    friend class CEditWnd;
    void CloseNativeEdit();

    UINT state_ = 0;
    int maxChar_ = 255;
    bool readOnly_ = false;
    bool password_ = false;
    std::wstring normalImage_;
    std::wstring hotImage_;
    std::wstring focusedImage_;
    std::wstring disabledImage_;
    CEditWnd* editWnd_ = nullptr;
};

class CProgressUI : public CLabelUI {
public:
    CProgressUI();
    std::wstring GetClass() const override { return L"ProgressUI"; }
    bool IsHorizontal() const { return horizontal_; }
    void SetHorizontal(bool horizontal);
    int GetMinValue() const { return min_; }
    void SetMinValue(int value);
    int GetMaxValue() const { return max_; }
    void SetMaxValue(int value);
    int GetValue() const { return value_; }
    void SetValue(int value);
    const std::wstring& GetForeImage() const { return foreImage_; }
    void SetForeImage(const std::wstring& d);
    // The part of the control the fore image covers.
    RECT GetFillRect() const;

    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void PaintStatusImage(CCanvas& canvas, const RECT& clip) override;

private:
    bool horizontal_ = true;
    int min_ = 0;
    int max_ = 100;
    int value_ = 0;
    std::wstring foreImage_;
};

}  // namespace SkinUI
