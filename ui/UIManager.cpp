#include "UIManager.h"

#include "UIMarkup.h"
#include "UIText.h"

#include <windowsx.h>

#include <algorithm>

namespace SkinUI {

namespace {

constexpr size_t kMaxImageFileSize = 64 * 1024 * 1024;

// Posted to the window to deliver queued notifications.
constexpr UINT kAsyncNotifyMessage = WM_APP + 0x0F00;

struct ProcessState {
    HINSTANCE instance = nullptr;
    HINSTANCE resourceInstance = nullptr;
    std::wstring resourcePath;
    bool hasPackage = false;
    CZipPackage package;
    std::vector<CPaintManagerUI*> managers;
};

ProcessState& Process() {
    static ProcessState state;
    return state;
}

SIZE ParseSize(const std::wstring& value) {
    RECT rc = ParseRect(value);
    return SIZE{rc.left, rc.top};
}

}  // namespace

CPaintManagerUI::CPaintManagerUI() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    LOGFONTW logFont{};
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        logFont = metrics.lfMessageFont;
    } else {
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(logFont), &logFont);
    }
    defaultFont_.name = logFont.lfFaceName;
    defaultFont_.size = logFont.lfHeight < 0 ? -logFont.lfHeight : logFont.lfHeight;
    defaultFont_.bold = logFont.lfWeight >= FW_BOLD;
    defaultFont_.underline = logFont.lfUnderline != 0;
    defaultFont_.italic = logFont.lfItalic != 0;
    defaultFont_.font.Reset(::CreateFontIndirectW(&logFont));
}

CPaintManagerUI::~CPaintManagerUI() {
    // Controls report their end to the manager, so the tree goes while every table still exists.
    root_.reset();
    ReleaseDelayedCleanup();
    auto& managers = Process().managers;
    managers.erase(std::remove(managers.begin(), managers.end(), this), managers.end());
}

HINSTANCE CPaintManagerUI::GetInstance() {
    return Process().instance;
}

void CPaintManagerUI::SetInstance(HINSTANCE instance) {
    Process().instance = instance;
}

HINSTANCE CPaintManagerUI::GetResourceInstance() {
    return Process().resourceInstance != nullptr ? Process().resourceInstance : Process().instance;
}

void CPaintManagerUI::SetResourceInstance(HINSTANCE instance) {
    Process().resourceInstance = instance;
}

std::wstring CPaintManagerUI::GetInstancePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = ::GetModuleFileNameW(GetInstance(), &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

const std::wstring& CPaintManagerUI::GetResourcePath() {
    return Process().resourcePath;
}

void CPaintManagerUI::SetResourcePath(const std::wstring& path) {
    std::wstring value = path;
    if (!value.empty() && value.back() != L'\\' && value.back() != L'/') {
        value += L'\\';
    }
    Process().resourcePath = value;
}

bool CPaintManagerUI::SetResourceZip(const void* data, size_t size) {
    Process().hasPackage = true;
    return Process().package.Open(data, size);
}

void CPaintManagerUI::CloseResourceZip() {
    Process().package.Close();
    Process().hasPackage = false;
}

const CZipPackage* CPaintManagerUI::GetResourceZip() {
    return Process().hasPackage ? &Process().package : nullptr;
}

bool CPaintManagerUI::ReadResourceFile(const std::wstring& name, std::vector<uint8_t>& bytes) {
    std::wstring error;
    const CZipPackage& package = Process().package;
    if (package.IsOpen() && package.Extract(name, bytes, error)) {
        return true;
    }
    for (const std::wstring& path : {GetResourcePath() + name, name}) {
        if (ReadFileBytes(path, kMaxImageFileSize, bytes, error) && !bytes.empty()) {
            return true;
        }
    }
    return false;
}

bool CPaintManagerUI::LoadImageData(const TImageDesc& desc, TImageInfo& image) {
    if (desc.hasColor) {
        image = SolidImage(desc.color);
        return true;
    }
    std::vector<uint8_t> bytes;
    if (!desc.res.empty()) {
        bool numeric = !desc.res.empty() && std::all_of(desc.res.begin(), desc.res.end(), iswdigit);
        const wchar_t* name = numeric ? MAKEINTRESOURCEW(ParseInt(desc.res)) : desc.res.c_str();
        HMODULE module = GetResourceInstance();
        HRSRC resource = ::FindResourceW(module, name, desc.restype.c_str());
        HGLOBAL loaded = resource != nullptr ? ::LoadResource(module, resource) : nullptr;
        const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
        if (data == nullptr) {
            return false;
        }
        const auto* p = static_cast<const uint8_t*>(data);
        bytes.assign(p, p + ::SizeofResource(module, resource));
    } else if (desc.file.empty() || !ReadResourceFile(desc.file, bytes)) {
        return false;
    }
    return DecodeImage(bytes, desc.mask, image);
}

int CPaintManagerUI::MessageLoop() {
    MSG msg{};
    for (;;) {
        BOOL status = ::GetMessageW(&msg, nullptr, 0, 0);
        if (status == 0 || status == -1) {
            break;
        }
        if (!TranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

bool CPaintManagerUI::TranslateMessage(const MSG* msg) {
    if (msg->hwnd == nullptr) {
        return false;
    }
    MSG copy = *msg;
    // A copy of the list: a filter may close a window and so end its manager.
    std::vector<CPaintManagerUI*> managers = Process().managers;
    for (CPaintManagerUI* manager : managers) {
        HWND hwnd = manager->hwnd_;
        if (hwnd != nullptr && (msg->hwnd == hwnd || ::IsChild(hwnd, msg->hwnd))) {
            return manager->PreMessageHandler(&copy);
        }
    }
    return false;
}

bool CPaintManagerUI::PreMessageHandler(MSG* msg) {
    for (ITranslateAccelerator* translator : std::vector<ITranslateAccelerator*>(translators_)) {
        if (translator->TranslateAccelerator(msg)) {
            return true;
        }
    }
    for (IMessageFilterUI* filter : std::vector<IMessageFilterUI*>(preFilters_)) {
        bool handled = false;
        filter->MessageHandler(msg->message, msg->wParam, msg->lParam, handled);
        if (handled) {
            return true;
        }
    }
    return false;
}

void CPaintManagerUI::Init(HWND hwnd) {
    hwnd_ = hwnd;
    auto& managers = Process().managers;
    if (std::find(managers.begin(), managers.end(), this) == managers.end()) {
        managers.push_back(this);
    }
}

void CPaintManagerUI::SetInitSize(int cx, int cy) {
    initSize_ = SIZE{cx, cy};
    if (hwnd_ != nullptr && root_ == nullptr) {
        ::SetWindowPos(hwnd_, nullptr, 0, 0, cx, cy, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    }
    NeedUpdate();
}

SIZE CPaintManagerUI::GetClientSize() const {
    if (hwnd_ == nullptr) {
        return initSize_;
    }
    RECT rc{};
    ::GetClientRect(hwnd_, &rc);
    return SIZE{rc.right - rc.left, rc.bottom - rc.top};
}

bool CPaintManagerUI::AttachDialog(CControlUI* root) {
    if (root == nullptr) {
        return false;
    }
    focus_ = hover_ = click_ = nullptr;
    root_.reset(root);
    names_.clear();
    root->SetManager(this, nullptr);
    root->ForEach([this](CControlUI* control) {
        if (!control->GetName().empty()) {
            names_.emplace(control->GetName(), control);
        }
    });
    NeedUpdate();
    Invalidate();
    return true;
}

CControlUI* CPaintManagerUI::FindControl(const std::wstring& name) const {
    auto it = names_.find(name);
    return it == names_.end() ? nullptr : it->second;
}

CControlUI* CPaintManagerUI::FindControl(POINT pt) {
    UpdateLayout();
    return root_ != nullptr ? root_->FindControlAt(pt) : nullptr;
}

void CPaintManagerUI::UpdateLayout() {
    if (!updateNeeded_ || root_ == nullptr) {
        return;
    }
    updateNeeded_ = false;
    SIZE size = GetClientSize();
    root_->SetPos(RECT{0, 0, size.cx, size.cy});
}

void CPaintManagerUI::Invalidate() {
    if (hwnd_ != nullptr) {
        ::InvalidateRect(hwnd_, nullptr, FALSE);
    }
}

void CPaintManagerUI::Invalidate(const RECT& rc) {
    if (hwnd_ != nullptr) {
        ::InvalidateRect(hwnd_, &rc, FALSE);
    }
}

void CPaintManagerUI::Render(CCanvas& canvas, const RECT& paint) {
    UpdateLayout();
    if (root_ != nullptr && root_->IsVisible()) {
        root_->DoPaint(canvas, paint);
    }
    ::GdiFlush();
}

void CPaintManagerUI::Paint() {
    ScopedPaint paint(hwnd_);
    SIZE size = GetClientSize();
    if (size.cx <= 0 || size.cy <= 0) {
        return;
    }
    if (backBuffer_.Width() != size.cx || backBuffer_.Height() != size.cy) {
        backBuffer_.Create(size.cx, size.cy);
    }
    RECT area = paint.Area();
    RECT whole{0, 0, size.cx, size.cy};
    ::IntersectRect(&area, &area, &whole);
    CRenderEngine::FillRect(backBuffer_, area, 0xFFFFFFFF, area);
    Render(backBuffer_, area);
    ::BitBlt(paint.Dc(), area.left, area.top, area.right - area.left, area.bottom - area.top,
             backBuffer_.Dc(), area.left, area.top, SRCCOPY);
    if (!firstPaintDone_ && root_ != nullptr) {
        firstPaintDone_ = true;
        SendNotify(root_.get(), L"windowinit");
    }
}

namespace {

// Fills `info` with a new GDI font; a character height of minus `size` makes `size` the pixel
// height of the characters. Leaves `info` unchanged when the font cannot be created.
bool CreateFontInfo(const std::wstring& name, int size, bool bold, bool underline, bool italic,
                    TFontInfo& info) {
    LOGFONTW logFont{};
    lstrcpynW(logFont.lfFaceName, name.c_str(), LF_FACESIZE);
    logFont.lfHeight = -size;
    logFont.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    logFont.lfUnderline = underline ? TRUE : FALSE;
    logFont.lfItalic = italic ? TRUE : FALSE;
    logFont.lfCharSet = DEFAULT_CHARSET;
    ScopedFont font(::CreateFontIndirectW(&logFont));
    if (!font) {
        return false;
    }
    info.name = logFont.lfFaceName;
    info.size = size;
    info.bold = bold;
    info.underline = underline;
    info.italic = italic;
    info.font = std::move(font);
    return true;
}

}  // namespace

HFONT CPaintManagerUI::AddFont(int id, const std::wstring& name, int size, bool bold, bool underline,
                               bool italic) {
    TFontInfo info;
    if (!CreateFontInfo(name, size, bold, underline, italic, info)) {
        return nullptr;
    }
    TFontInfo& stored = fonts_[id];
    stored = std::move(info);
    return stored.font.Get();
}

void CPaintManagerUI::SetDefaultFont(const std::wstring& name, int size, bool bold, bool underline,
                                     bool italic) {
    CreateFontInfo(name, size, bold, underline, italic, defaultFont_);
}

HFONT CPaintManagerUI::GetFont(int id) const {
    return GetFontInfo(id)->font.Get();
}

const TFontInfo* CPaintManagerUI::GetFontInfo(int id) const {
    auto it = fonts_.find(id);
    return it == fonts_.end() ? &defaultFont_ : &it->second;
}

const TImageInfo* CPaintManagerUI::GetImage(const TImageDesc& desc) {
    const std::wstring key = desc.ImageKey();
    auto it = images_.find(key);
    if (it == images_.end()) {
        auto image = std::make_unique<TImageInfo>();
        // A failed load is remembered too, so a missing file is not searched for on every paint.
        if (!LoadImageData(desc, *image)) {
            image.reset();
        }
        it = images_.emplace(key, std::move(image)).first;
    }
    return it->second.get();
}

const TImageInfo* CPaintManagerUI::AddImage(const std::wstring& name, const std::wstring& type, DWORD mask) {
    TImageDesc desc;
    if (type.empty()) {
        desc.file = name;
    } else {
        desc.res = name;
        desc.restype = type;
    }
    desc.mask = mask;
    return GetImage(desc);
}

void CPaintManagerUI::AddDefaultAttributeList(const std::wstring& controlName, const std::wstring& list) {
    defaultAttributes_[ToUpper(controlName)] = list;
}

std::wstring CPaintManagerUI::GetDefaultAttributeList(const std::wstring& controlName) const {
    auto it = defaultAttributes_.find(ToUpper(controlName));
    return it == defaultAttributes_.end() ? std::wstring() : it->second;
}

void CPaintManagerUI::SetWindowAttribute(const std::wstring& name, const std::wstring& value) {
    if (name == L"size") {
        SIZE size = ParseSize(value);
        SetInitSize(size.cx, size.cy);
    } else if (name == L"sizebox") {
        sizeBox_ = ParseRect(value);
    } else if (name == L"caption") {
        caption_ = ParseRect(value);
    } else if (name == L"roundcorner") {
        roundCorner_ = ParseSize(value);
    } else if (name == L"mininfo") {
        minInfo_ = ParseSize(value);
    } else if (name == L"defaultfontcolor") {
        defaultFontColor_ = ParseColor(value);
    } else if (name == L"disabledfontcolor") {
        disabledFontColor_ = ParseColor(value);
    } else if (name == L"maxinfo" || name == L"showdirty" || name == L"noactivate" || name == L"opacity" ||
               name == L"layeredopacity" || name == L"layeredimage" || name == L"linkfontcolor" ||
               name == L"linkhoverfontcolor" || name == L"selectedcolor") {
        // Recognised window attributes whose effects no window of this framework uses.
    } else {
        windowCustomAttributes_.emplace(name, value);
    }
}

std::wstring CPaintManagerUI::GetWindowCustomAttribute(const std::wstring& name) const {
    auto it = windowCustomAttributes_.find(name);
    return it == windowCustomAttributes_.end() ? std::wstring() : it->second;
}

bool CPaintManagerUI::AddNotifier(INotifyUI* notifier) {
    if (std::find(notifiers_.begin(), notifiers_.end(), notifier) != notifiers_.end()) {
        return false;
    }
    notifiers_.push_back(notifier);
    return true;
}

bool CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) {
    auto it = std::find(notifiers_.begin(), notifiers_.end(), notifier);
    if (it == notifiers_.end()) {
        return false;
    }
    notifiers_.erase(it);
    return true;
}

void CPaintManagerUI::SendNotify(CControlUI* control, const std::wstring& type, WPARAM wParam, LPARAM lParam,
                                 bool async, bool enableRepeat) {
    TNotifyUI msg;
    msg.sType = type;
    msg.pSender = control;
    msg.wParam = wParam;
    msg.lParam = lParam;
    SendNotify(msg, async, enableRepeat);
}

void CPaintManagerUI::SendNotify(TNotifyUI& msg, bool async, bool enableRepeat) {
    msg.ptMouse = mousePos_;
    msg.dwTimestamp = ::GetTickCount();
    if (!async) {
        DeliverNotify(msg);
        return;
    }
    if (!enableRepeat) {
        for (QueuedNotify& queued : queued_) {
            if (queued.msg.pSender == msg.pSender && queued.msg.sType == msg.sType) {
                queued.msg = msg;
                return;
            }
        }
    }
    queued_.push_back(QueuedNotify{msg, enableRepeat});
    if (hwnd_ != nullptr && !queuePosted_) {
        queuePosted_ = ::PostMessageW(hwnd_, kAsyncNotifyMessage, 0, 0) != FALSE;
    }
}

void CPaintManagerUI::DeliverNotify(TNotifyUI& msg) {
    if (msg.pSender != nullptr && !msg.pSender->OnNotify(msg)) {
        return;
    }
    for (INotifyUI* notifier : std::vector<INotifyUI*>(notifiers_)) {
        notifier->Notify(msg);
    }
}

void CPaintManagerUI::ProcessQueuedNotifications() {
    queuePosted_ = false;
    while (!queued_.empty()) {
        TNotifyUI msg = queued_.front().msg;
        queued_.pop_front();
        DeliverNotify(msg);
    }
}

bool CPaintManagerUI::AddPreMessageFilter(IMessageFilterUI* filter) {
    if (std::find(preFilters_.begin(), preFilters_.end(), filter) != preFilters_.end()) {
        return false;
    }
    preFilters_.push_back(filter);
    return true;
}

bool CPaintManagerUI::RemovePreMessageFilter(IMessageFilterUI* filter) {
    auto it = std::find(preFilters_.begin(), preFilters_.end(), filter);
    if (it == preFilters_.end()) {
        return false;
    }
    preFilters_.erase(it);
    return true;
}

bool CPaintManagerUI::AddTranslateAccelerator(ITranslateAccelerator* translator) {
    if (std::find(translators_.begin(), translators_.end(), translator) != translators_.end()) {
        return false;
    }
    translators_.push_back(translator);
    return true;
}

bool CPaintManagerUI::RemoveTranslateAccelerator(ITranslateAccelerator* translator) {
    auto it = std::find(translators_.begin(), translators_.end(), translator);
    if (it == translators_.end()) {
        return false;
    }
    translators_.erase(it);
    return true;
}

void CPaintManagerUI::AddOptionGroup(const std::wstring& group, CControlUI* control) {
    auto& members = optionGroups_[group];
    if (std::find(members.begin(), members.end(), control) == members.end()) {
        members.push_back(control);
    }
}

void CPaintManagerUI::RemoveOptionGroup(const std::wstring& group, CControlUI* control) {
    auto it = optionGroups_.find(group);
    if (it != optionGroups_.end()) {
        auto& members = it->second;
        members.erase(std::remove(members.begin(), members.end(), control), members.end());
    }
}

std::vector<CControlUI*> CPaintManagerUI::GetOptionGroup(const std::wstring& group) const {
    auto it = optionGroups_.find(group);
    return it == optionGroups_.end() ? std::vector<CControlUI*>() : it->second;
}

void CPaintManagerUI::SetFocus(CControlUI* control) {
    if (control == focus_) {
        return;
    }
    CControlUI* previous = focus_;
    focus_ = control;
    if (previous != nullptr) {
        SendEvent(previous, UIEVENT_KILLFOCUS, mousePos_);
    }
    if (control != nullptr) {
        SendEvent(control, UIEVENT_SETFOCUS, mousePos_);
    }
}

void CPaintManagerUI::ReapObjects(CControlUI* control) {
    if (focus_ == control) {
        focus_ = nullptr;
    }
    if (hover_ == control) {
        hover_ = nullptr;
    }
    if (click_ == control) {
        click_ = nullptr;
    }
    for (auto it = names_.begin(); it != names_.end();) {
        it = it->second == control ? names_.erase(it) : std::next(it);
    }
    for (auto& group : optionGroups_) {
        auto& members = group.second;
        members.erase(std::remove(members.begin(), members.end(), control), members.end());
    }
    queued_.erase(std::remove_if(queued_.begin(), queued_.end(),
                                 [control](const QueuedNotify& q) { return q.msg.pSender == control; }),
                  queued_.end());
}

void CPaintManagerUI::AddDelayedCleanup(CControlUI* control) {
    control->SetManager(this, nullptr);
    delayedCleanup_.push_back(control);
    if (hwnd_ != nullptr && !queuePosted_) {
        queuePosted_ = ::PostMessageW(hwnd_, kAsyncNotifyMessage, 0, 0) != FALSE;
    }
}

void CPaintManagerUI::ReleaseDelayedCleanup() {
    std::vector<CControlUI*> pending;
    pending.swap(delayedCleanup_);
    for (CControlUI* control : pending) {
        delete control;
    }
}

void CPaintManagerUI::SendEvent(CControlUI* control, EventType type, POINT pt, WPARAM wParam, LPARAM lParam) {
    TEventUI event;
    event.type = type;
    event.pSender = control;
    event.dwTimestamp = ::GetTickCount();
    event.ptMouse = pt;
    event.wParam = wParam;
    event.lParam = lParam;
    control->Event(event);
}

void CPaintManagerUI::OnMouseMove(POINT pt) {
    mousePos_ = pt;
    CControlUI* target = FindControl(pt);
    if (target != hover_) {
        CControlUI* previous = hover_;
        hover_ = target;
        if (previous != nullptr) {
            SendEvent(previous, UIEVENT_MOUSELEAVE, pt);
        }
        if (target != nullptr && target == hover_) {
            SendEvent(target, UIEVENT_MOUSEENTER, pt);
        }
    }
    if (click_ != nullptr) {
        SendEvent(click_, UIEVENT_MOUSEMOVE, pt);
    } else if (hover_ != nullptr) {
        SendEvent(hover_, UIEVENT_MOUSEMOVE, pt);
    }
}

bool CPaintManagerUI::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (uMsg) {
        case WM_PAINT:
            if (hwnd_ == nullptr) {
                return false;
            }
            Paint();
            return true;
        case WM_ERASEBKGND:
            result = 1;
            return true;
        case WM_NCDESTROY: {
            // The window is gone: nothing may be routed to this manager any more.
            auto& managers = Process().managers;
            managers.erase(std::remove(managers.begin(), managers.end(), this), managers.end());
            hwnd_ = nullptr;
            hover_ = click_ = nullptr;
            mouseTracking_ = false;
            return false;
        }
        case WM_SIZE:
            // Laid out at once: the window may ask for control rectangles before it paints.
            NeedUpdate();
            UpdateLayout();
            Invalidate();
            return false;
        case kAsyncNotifyMessage:
            ReleaseDelayedCleanup();
            ProcessQueuedNotifications();
            return true;
        case WM_MOUSEMOVE: {
            POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (hwnd_ != nullptr && !mouseTracking_) {
                TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd_, 0};
                mouseTracking_ = ::TrackMouseEvent(&track) != FALSE;
            }
            OnMouseMove(pt);
            return false;
        }
        case WM_MOUSELEAVE:
            mouseTracking_ = false;
            if (hover_ != nullptr && click_ == nullptr) {
                CControlUI* previous = hover_;
                hover_ = nullptr;
                SendEvent(previous, UIEVENT_MOUSELEAVE, mousePos_);
            }
            return false;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            mousePos_ = pt;
            CControlUI* target = FindControl(pt);
            if (target == nullptr) {
                return false;
            }
            if (hwnd_ != nullptr) {
                ::SetFocus(hwnd_);
                ::SetCapture(hwnd_);
            }
            click_ = target;
            if (target->AcceptsFocus() && target->IsEnabled()) {
                SetFocus(target);
            }
            if (click_ != nullptr) {
                SendEvent(click_, uMsg == WM_LBUTTONDOWN ? UIEVENT_BUTTONDOWN : UIEVENT_DBLCLICK, pt, wParam);
            }
            return false;
        }
        case WM_LBUTTONUP: {
            POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            mousePos_ = pt;
            if (hwnd_ != nullptr && ::GetCapture() == hwnd_) {
                ::ReleaseCapture();
            }
            CControlUI* target = click_;
            click_ = nullptr;
            if (target != nullptr) {
                SendEvent(target, UIEVENT_BUTTONUP, pt, wParam);
            }
            return false;
        }
        case WM_KEYDOWN:
            if (focus_ != nullptr) {
                SendEvent(focus_, UIEVENT_KEYDOWN, mousePos_, wParam, lParam);
            }
            return false;
        case WM_COMMAND:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
            if (lParam != 0) {
                result = ::SendMessageW(reinterpret_cast<HWND>(lParam), kReflectBase + uMsg, wParam, lParam);
                return result != 0 || uMsg == WM_COMMAND;
            }
            return false;
        default:
            return false;
    }
}

}  // namespace SkinUI
