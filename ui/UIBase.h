// Native window wrapper and the skinned window base.
#pragma once

#include "UIDefine.h"
#include "UIManager.h"

#include <functional>
#include <map>
#include <string>

namespace SkinUI {

class CWindowWnd {
public:
    CWindowWnd() = default;
    virtual ~CWindowWnd() = default;
    CWindowWnd(const CWindowWnd&) = delete;
    CWindowWnd& operator=(const CWindowWnd&) = delete;

    virtual const wchar_t* GetWindowClassName() const = 0;
    virtual const wchar_t* GetSuperClassName() const { return nullptr; }
    virtual UINT GetClassStyle() const { return 0; }
    virtual LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
    virtual void OnFinalMessage(HWND hwnd);

    HWND GetHWND() const { return hwnd_; }
    operator HWND() const { return hwnd_; }

    HWND Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
                int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT, HMENU menu = nullptr);
    HWND Subclass(HWND hwnd);
    void Unsubclass();
    void ShowWindow(bool show = true, bool takeFocus = true);
    // Posts WM_CLOSE with `code` as wParam if the window still exists.
    void Close(UINT code = IDOK);
    void CenterWindow();
    void SetIcon(UINT resourceId);
    LRESULT SendMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT PostMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);

    // The object behind a native window created or subclassed by this class, or null.
    static CWindowWnd* FromHandle(HWND hwnd);

protected:
    bool RegisterWindowClass();
    bool RegisterSuperclass();
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    WNDPROC oldWndProc_ = ::DefWindowProcW;
    bool subclassed_ = false;
};

// Routes notifications by event name to registered handlers.
class CNotifyPump {
public:
    using Handler = std::function<void(TNotifyUI&)>;
    void SetNotifyHandler(const std::wstring& type, Handler handler);
    // True when a handler took the notification.
    bool NotifyPump(TNotifyUI& msg);

protected:
    ~CNotifyPump() = default;

private:
    std::map<std::wstring, Handler> handlers_;
};

enum UILIB_RESOURCETYPE {
    UILIB_FILE = 1,
    UILIB_ZIP,
    UILIB_RESOURCE,
    UILIB_ZIPRESOURCE,
};

class WindowImplBase : public CWindowWnd,
                       public CNotifyPump,
                       public INotifyUI,
                       public IMessageFilterUI,
                       public IDialogBuilderCallback {
public:
    WindowImplBase();
    ~WindowImplBase() override = default;

    UINT GetClassStyle() const override { return CS_DBLCLKS; }
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hwnd) override;

    virtual void InitWindow() {}
    virtual void OnClick(TNotifyUI& msg);
    virtual std::wstring GetSkinFolder() { return std::wstring(); }
    virtual std::wstring GetSkinFile() = 0;
    virtual LRESULT ResponseDefaultKeyEvent(WPARAM wParam);
    virtual UILIB_RESOURCETYPE GetResourceType() const { return UILIB_FILE; }
    virtual std::wstring GetZIPFileName() const { return std::wstring(); }
    virtual const wchar_t* GetResourceID() const { return nullptr; }
    virtual LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnNcActivate(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnNcCalcSize(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnNcPaint(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnNcHitTest(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnGetMinMaxInfo(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnMouseWheel(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnMouseHover(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnChar(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnKeyDown(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnSetFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnLButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnLButtonUp(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnMouseMove(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    // The window's style as the skinned window wants it: the current one without a caption.
    virtual LONG GetStyle();

    void Notify(TNotifyUI& msg) override;
    LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    CControlUI* CreateControl(const std::wstring& className) override;

    CPaintManagerUI& GetPaintManager() { return paintManager_; }

protected:
    // The part of WM_CREATE after the frame is set up: attaches the paint manager, opens the skin
    // package, builds the skin file and calls InitWindow. A skin that cannot be built shows
    // `failureText` and ends the process with exit code 1.
    LRESULT BuildContent(const wchar_t* failureText);

    CPaintManagerUI paintManager_;
};

}  // namespace SkinUI
