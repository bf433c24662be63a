#pragma once

// Ownership of Win32 resources. One move-only template; each traits type names
// the invalid value and how the resource is released, so no code path closes a
// handle by hand and none can forget to.

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

struct curl_slist;

namespace kivoinstaller {

template <typename Traits>
class ScopedResource {
public:
    using Type = typename Traits::Type;

    ScopedResource() noexcept : value_(Traits::Invalid()) {}
    explicit ScopedResource(Type value) noexcept : value_(value) {}
    ~ScopedResource() { Reset(); }

    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;

    ScopedResource(ScopedResource&& other) noexcept : value_(other.Release()) {}
    ScopedResource& operator=(ScopedResource&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    Type Get() const noexcept { return value_; }
    bool IsValid() const noexcept { return value_ != Traits::Invalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    Type Release() noexcept {
        Type value = value_;
        value_ = Traits::Invalid();
        return value;
    }

    void Reset(Type value = Traits::Invalid()) noexcept {
        if (IsValid()) {
            Traits::Close(value_);
        }
        value_ = value;
    }

    // For out-parameters of APIs that create the resource.
    Type* Receive() noexcept {
        Reset();
        return &value_;
    }

private:
    Type value_;
};

struct HandleTraits {  // CreateEvent, OpenProcess, CreateMutex, threads: NULL on failure
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct FileHandleTraits {  // CreateFile, CreateToolhelp32Snapshot: INVALID_HANDLE_VALUE on failure
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::FindClose(h); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::RegCloseKey(h); }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::FreeLibrary(h); }
};

struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteObject(h); }
};

struct LocalMemTraits {  // CommandLineToArgvW, FormatMessage buffers
    using Type = HLOCAL;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::LocalFree(h); }
};

struct WindowTraits {
    using Type = HWND;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DestroyWindow(h); }
};

// libcurl objects. CURL is void in libcurl's public header. The release
// functions live in src/HttpClient.cpp, so this header does not drag libcurl
// into every file that owns a handle.
struct CurlEasyTraits {
    using Type = void*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept;
};

struct CurlListTraits {
    using Type = curl_slist*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept;
};

struct CurlTextTraits {  // strings libcurl allocated (curl_easy_escape)
    using Type = char*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept;
};

struct BstrTraits {
    using Type = BSTR;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::SysFreeString(h); }
};

template <typename T>
struct CoTaskMemTraits {  // shell allocations: item id lists, folder paths
    using Type = T*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type p) noexcept { ::CoTaskMemFree(p); }
};

using ScopedHandle = ScopedResource<HandleTraits>;
using ScopedFileHandle = ScopedResource<FileHandleTraits>;
using ScopedFindHandle = ScopedResource<FindHandleTraits>;
using ScopedRegKey = ScopedResource<RegKeyTraits>;
using ScopedModule = ScopedResource<ModuleTraits>;
using ScopedGdiObject = ScopedResource<GdiObjectTraits>;
using ScopedLocal = ScopedResource<LocalMemTraits>;
using ScopedWindow = ScopedResource<WindowTraits>;
template <typename T>
using ScopedCoTaskMem = ScopedResource<CoTaskMemTraits<T>>;
using ScopedCurl = ScopedResource<CurlEasyTraits>;
using ScopedCurlList = ScopedResource<CurlListTraits>;
using ScopedCurlText = ScopedResource<CurlTextTraits>;
using ScopedBstr = ScopedResource<BstrTraits>;

// A VARIANT that is cleared when it goes out of scope.
class ScopedVariant {
public:
    ScopedVariant() noexcept { ::VariantInit(&value_); }
    ~ScopedVariant() { ::VariantClear(&value_); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;

    VARIANT* Get() noexcept { return &value_; }
    const VARIANT& operator*() const noexcept { return value_; }

private:
    VARIANT value_;
};

// COM interface pointer: releases on destruction, move-only.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            ptr_ = std::exchange(other.ptr_, nullptr);
        }
        return *this;
    }

    T* Get() const noexcept { return ptr_; }
    T* operator->() const noexcept { return ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }

    T** Receive() noexcept {
        Reset();
        return &ptr_;
    }
    void** ReceiveVoid() noexcept { return reinterpret_cast<void**>(Receive()); }

    void Reset() noexcept {
        if (ptr_) {
            ptr_->Release();
            ptr_ = nullptr;
        }
    }

    template <typename U>
    HRESULT As(ComPtr<U>* out) const noexcept {
        return ptr_->QueryInterface(__uuidof(U), out->ReceiveVoid());
    }

private:
    T* ptr_ = nullptr;
};

// COM for the current thread, for code running on a thread the entry point did
// not initialise (installer thread, task threads).
class ScopedCoInitialize {
public:
    ScopedCoInitialize() noexcept : hr_(::CoInitialize(nullptr)) {}
    ~ScopedCoInitialize() {
        if (SUCCEEDED(hr_)) {
            ::CoUninitialize();
        }
    }
    ScopedCoInitialize(const ScopedCoInitialize&) = delete;
    ScopedCoInitialize& operator=(const ScopedCoInitialize&) = delete;

    HRESULT Result() const noexcept { return hr_; }
    bool Succeeded() const noexcept { return SUCCEEDED(hr_); }

private:
    HRESULT hr_;
};

}  // namespace kivoinstaller
