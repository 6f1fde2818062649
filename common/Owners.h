// The owners of the handles, allocations and COM references that Brellmenu,
// the engine, the tools and the benchmarks hold: one template, one line per
// kind of handle, the COM pointer and the lock guard. Each releases what it
// holds once, on every path; none of them throws.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlobj.h>

#include <utility>

namespace brell {

// What an empty owner holds, and which values are a handle to close.
struct NullIsEmpty {
    template <class Handle>
    static Handle None() noexcept { return Handle(); }
    template <class Handle>
    static bool Held(Handle h) noexcept { return h != Handle(); }
};
// FindFirstFileExW and friends fail with INVALID_HANDLE_VALUE, never null.
struct InvalidIsEmpty {
    template <class Handle>
    static Handle None() noexcept { return INVALID_HANDLE_VALUE; }
    template <class Handle>
    static bool Held(Handle h) noexcept { return h != INVALID_HANDLE_VALUE; }
};
// Kernel handles: CreateFileW fails with INVALID_HANDLE_VALUE, CreateThread
// and OpenProcess with null; both mean none.
struct NullOrInvalidIsEmpty {
    template <class Handle>
    static Handle None() noexcept { return nullptr; }
    template <class Handle>
    static bool Held(Handle h) noexcept { return h && h != INVALID_HANDLE_VALUE; }
};

// Owns one Handle and gives it to Close once.
template <class Handle, auto Close, class Empty = NullIsEmpty>
class UniqueAny {
public:
    UniqueAny() noexcept = default;
    explicit UniqueAny(Handle h) noexcept : h_(h) {}
    UniqueAny(UniqueAny&& other) noexcept : h_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    ~UniqueAny() { reset(); }

    Handle get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return Empty::Held(h_); }
    // For functions that hand out a handle through a pointer: what is held
    // is closed first.
    Handle* put() noexcept {
        reset();
        return &h_;
    }
    Handle release() noexcept { return std::exchange(h_, Empty::template None<Handle>()); }
    void reset(Handle h = Empty::template None<Handle>()) noexcept {
        if (*this) Close(h_);
        h_ = h;
    }

private:
    Handle h_ = Empty::template None<Handle>();
};

// Close functions that need more than the handle.
inline void FreeProcessHeap(void* block) noexcept { HeapFree(GetProcessHeap(), 0, block); }
inline void FreeVirtual(void* block) noexcept { VirtualFree(block, 0, MEM_RELEASE); }

using UniqueHandle = UniqueAny<HANDLE, &CloseHandle, NullOrInvalidIsEmpty>;
using UniqueFind = UniqueAny<HANDLE, &FindClose, InvalidIsEmpty>;
using UniqueHKey = UniqueAny<HKEY, &RegCloseKey>;
using UniqueModule = UniqueAny<HMODULE, &FreeLibrary>;
using UniqueIdList = UniqueAny<PIDLIST_ABSOLUTE, &ILFree>;
using UniqueBstr = UniqueAny<BSTR, &SysFreeString>;
template <class T>
using UniqueCoTaskMem = UniqueAny<T*, &CoTaskMemFree>;
using UniqueCoTaskMemString = UniqueCoTaskMem<wchar_t>;
template <class T>
using UniqueLocalMem = UniqueAny<T*, &LocalFree>;
template <class T>
using UniqueHeapMem = UniqueAny<T*, &FreeProcessHeap>;
using UniqueVirtualMem = UniqueAny<void*, &FreeVirtual>;
using UniqueGlobal = UniqueAny<HGLOBAL, &GlobalFree>;
using UniqueMenu = UniqueAny<HMENU, &DestroyMenu>;
using UniqueWindow = UniqueAny<HWND, &DestroyWindow>;

// Owns one COM reference. Copies add a reference of their own.
template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr& other) noexcept : ptr_(other.ptr_) {
        if (ptr_) ptr_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : ptr_(other.detach()) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(ptr_, other.ptr_);
        return *this;
    }
    ~ComPtr() { reset(); }

    // Takes over a reference that the caller already holds.
    static ComPtr attach(T* ptr) noexcept {
        ComPtr p;
        p.ptr_ = ptr;
        return p;
    }
    // Adds a reference of its own to a pointer the caller keeps.
    static ComPtr copy(T* ptr) noexcept {
        if (ptr) ptr->AddRef();
        return attach(ptr);
    }

    T* get() const noexcept { return ptr_; }
    T* operator->() const noexcept { return ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }
    T** put() noexcept {
        reset();
        return &ptr_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    T* detach() noexcept { return std::exchange(ptr_, nullptr); }
    void reset() noexcept {
        if (T* p = std::exchange(ptr_, nullptr)) p->Release();
    }

private:
    T* ptr_ = nullptr;
};

// A critical section entered for the life of the object.
class Hold {
public:
    explicit Hold(CRITICAL_SECTION& cs) noexcept : cs_(cs) { EnterCriticalSection(&cs_); }
    ~Hold() { LeaveCriticalSection(&cs_); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    CRITICAL_SECTION& cs_;
};

}  // namespace brell
