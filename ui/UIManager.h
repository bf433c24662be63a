// The paint manager: one per window. Owns the control tree, fonts, images and notifiers, paints
// the tree and routes input to it. The skin package, the resource path and the instance handles
// are process-wide.
#pragma once

#include "UIControl.h"
#include "UIDefine.h"
#include "UIRender.h"
#include "UIZip.h"

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace SkinUI {

struct TFontInfo {
    std::wstring name;
    int size = 12;
    bool bold = false;
    bool underline = false;
    bool italic = false;
    ScopedFont font;
};

class CPaintManagerUI {
public:
    CPaintManagerUI();
    ~CPaintManagerUI();
    CPaintManagerUI(const CPaintManagerUI&) = delete;
    CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

    // Process-wide settings.
    static HINSTANCE GetInstance();
    static void SetInstance(HINSTANCE instance);
    static HINSTANCE GetResourceInstance();
    static void SetResourceInstance(HINSTANCE instance);
    // The executable's directory with a trailing backslash.
    static std::wstring GetInstancePath();
    static const std::wstring& GetResourcePath();
    static void SetResourcePath(const std::wstring& path);
    // Opens a zip archive held in memory as the skin package; the bytes must outlive it.
    static bool SetResourceZip(const void* data, size_t size);
    static void CloseResourceZip();
    // The package when one was given (open or not), else null.
    static const CZipPackage* GetResourceZip();
    // Reads a file from the package, else from the resource path, else as given.
    static bool ReadResourceFile(const std::wstring& name, std::vector<uint8_t>& bytes);
    // Decodes the bitmap an image description draws from (no cache).
    static bool LoadImageData(const TImageDesc& desc, TImageInfo& image);

    // Runs until WM_QUIT; messages consumed by the pre-translate step are not dispatched.
    static int MessageLoop();
    static bool TranslateMessage(const MSG* msg);

    void Init(HWND hwnd);
    HWND GetPaintWindow() const { return hwnd_; }
    // Size used for layout when no window is attached (and the window's initial size).
    SIZE GetInitSize() const { return initSize_; }
    void SetInitSize(int cx, int cy);
    SIZE GetClientSize() const;

    bool AttachDialog(CControlUI* root);
    CControlUI* GetRoot() const { return root_.get(); }
    CControlUI* FindControl(const std::wstring& name) const;
    CControlUI* FindControl(POINT pt);
    void NeedUpdate() { updateNeeded_ = true; }
    void UpdateLayout();
    void Invalidate();
    void Invalidate(const RECT& rc);
    // Paints the part `paint` of the tree into the canvas (window client coordinates).
    void Render(CCanvas& canvas, const RECT& paint);

    // Fonts.
    HFONT AddFont(int id, const std::wstring& name, int size, bool bold, bool underline, bool italic);
    void SetDefaultFont(const std::wstring& name, int size, bool bold, bool underline, bool italic);
    HFONT GetFont(int id) const;
    const TFontInfo* GetFontInfo(int id) const;

    // Images, cached by description file name for the life of the window.
    const TImageInfo* GetImage(const TImageDesc& desc);
    const TImageInfo* AddImage(const std::wstring& name, const std::wstring& type, DWORD mask);

    void AddDefaultAttributeList(const std::wstring& controlName, const std::wstring& list);
    std::wstring GetDefaultAttributeList(const std::wstring& controlName) const;

    // Attributes of the Window element.
    void SetWindowAttribute(const std::wstring& name, const std::wstring& value);
    std::wstring GetWindowCustomAttribute(const std::wstring& name) const;
    const RECT& GetCaptionRect() const { return caption_; }
    const RECT& GetSizeBox() const { return sizeBox_; }
    SIZE GetRoundCorner() const { return roundCorner_; }
    SIZE GetMinInfo() const { return minInfo_; }
    DWORD GetDefaultFontColor() const { return defaultFontColor_; }
    DWORD GetDefaultDisabledColor() const { return disabledFontColor_; }

    // Notifications.
    bool AddNotifier(INotifyUI* notifier);
    bool RemoveNotifier(INotifyUI* notifier);
    void SendNotify(CControlUI* control, const std::wstring& type, WPARAM wParam = 0, LPARAM lParam = 0,
                    bool async = false, bool enableRepeat = true);
    void SendNotify(TNotifyUI& msg, bool async = false, bool enableRepeat = true);
    // Delivers the queued notifications (done by the window when it processes its queue).
    void ProcessQueuedNotifications();

    bool AddPreMessageFilter(IMessageFilterUI* filter);
    bool RemovePreMessageFilter(IMessageFilterUI* filter);
    bool AddTranslateAccelerator(ITranslateAccelerator* translator);
    bool RemoveTranslateAccelerator(ITranslateAccelerator* translator);

    void AddOptionGroup(const std::wstring& group, CControlUI* control);
    void RemoveOptionGroup(const std::wstring& group, CControlUI* control);
    std::vector<CControlUI*> GetOptionGroup(const std::wstring& group) const;

    CControlUI* GetFocus() const { return focus_; }
    void SetFocus(CControlUI* control);
    POINT GetMousePos() const { return mousePos_; }

    // Called by a control that is going away.
    void ReapObjects(CControlUI* control);
    void AddDelayedCleanup(CControlUI* control);
    void ReleaseDelayedCleanup();

    // The window's message handling; true when the message was handled with `result`.
    bool MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    struct QueuedNotify {
        TNotifyUI msg;
        bool enableRepeat;
    };

    bool PreMessageHandler(MSG* msg);
    void DeliverNotify(TNotifyUI& msg);
    void SendEvent(CControlUI* control, EventType type, POINT pt, WPARAM wParam = 0, LPARAM lParam = 0);
    void OnMouseMove(POINT pt);
    void Paint();

    HWND hwnd_ = nullptr;
    SIZE initSize_{};
    std::unique_ptr<CControlUI> root_;
    std::map<std::wstring, CControlUI*> names_;
    bool updateNeeded_ = true;
    bool firstPaintDone_ = false;
    CCanvas backBuffer_;

    std::map<int, TFontInfo> fonts_;
    TFontInfo defaultFont_;
    std::map<std::wstring, std::unique_ptr<TImageInfo>> images_;
    std::map<std::wstring, std::wstring> defaultAttributes_;
    std::map<std::wstring, std::wstring> windowCustomAttributes_;
    std::map<std::wstring, std::vector<CControlUI*>> optionGroups_;

    RECT caption_{};
    RECT sizeBox_{};
    SIZE roundCorner_{};
    SIZE minInfo_{};
    DWORD defaultFontColor_ = 0xFF000000;
    DWORD disabledFontColor_ = 0xFFA7A6AA;

    std::vector<INotifyUI*> notifiers_;
    std::deque<QueuedNotify> queued_;
    bool queuePosted_ = false;
    std::vector<IMessageFilterUI*> preFilters_;
    std::vector<ITranslateAccelerator*> translators_;
    std::vector<CControlUI*> delayedCleanup_;

    CControlUI* focus_ = nullptr;
    CControlUI* hover_ = nullptr;
    CControlUI* click_ = nullptr;
    POINT mousePos_{-1, -1};
    bool mouseTracking_ = false;
};

}  // namespace SkinUI
