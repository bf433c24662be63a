// Shared records and interfaces of the framework.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace SkinUI {

class CControlUI;

enum EventType {
    UIEVENT_MOUSEENTER = 1,
    UIEVENT_MOUSELEAVE,
    UIEVENT_MOUSEMOVE,
    UIEVENT_BUTTONDOWN,
    UIEVENT_BUTTONUP,
    UIEVENT_DBLCLICK,
    UIEVENT_KEYDOWN,
    UIEVENT_SETFOCUS,
    UIEVENT_KILLFOCUS,
};

struct TEventUI {
    EventType type = UIEVENT_MOUSEMOVE;
    CControlUI* pSender = nullptr;
    DWORD dwTimestamp = 0;
    POINT ptMouse{};
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Notification record handed to the window's notifiers.
struct TNotifyUI {
    std::wstring sType;
    CControlUI* pSender = nullptr;
    DWORD dwTimestamp = 0;
    POINT ptMouse{};
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

class INotifyUI {
public:
    virtual void Notify(TNotifyUI& msg) = 0;

protected:
    ~INotifyUI() = default;
};

// Pre-translate filter: set `bHandled` to consume the message before it is dispatched.
class IMessageFilterUI {
public:
    virtual LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) = 0;

protected:
    ~IMessageFilterUI() = default;
};

// Returns true when it consumed the message.
class ITranslateAccelerator {
public:
    virtual bool TranslateAccelerator(MSG* msg) = 0;

protected:
    ~ITranslateAccelerator() = default;
};

// Creates controls for element names the framework does not know.
class IDialogBuilderCallback {
public:
    virtual CControlUI* CreateControl(const std::wstring& className) = 0;

protected:
    ~IDialogBuilderCallback() = default;
};

// Delegates a control calls before its own handling; a delegate returning false stops the chain.
template <typename Arg>
class CEventSource {
public:
    using Delegate = std::function<bool(Arg&)>;
    void operator+=(Delegate delegate) { delegates_.push_back(std::move(delegate)); }
    bool operator()(Arg& arg) const {
        for (const Delegate& delegate : delegates_) {
            if (!delegate(arg)) {
                return false;
            }
        }
        return true;
    }

private:
    std::vector<Delegate> delegates_;
};

// WM_COMMAND and WM_CTLCOLOR* of a child window are sent back to the child at this offset, so
// that the framework's own native children handle their notifications themselves.
constexpr UINT kReflectBase = WM_USER + 0x1C00;

// Control state bits.
enum : UINT {
    UISTATE_FOCUSED = 0x01,
    UISTATE_SELECTED = 0x02,
    UISTATE_DISABLED = 0x04,
    UISTATE_HOT = 0x08,
    UISTATE_PUSHED = 0x10,
    UISTATE_CAPTURED = 0x40,
};

}  // namespace SkinUI
