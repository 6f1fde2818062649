// Small RAII owners for the handles and allocations that the server touches.
// Each owner releases on every path; none of them throws.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <utility>

namespace brell {

// Owns an HKEY opened or created by the caller; closes it once.
class UniqueHKey {
public:
    UniqueHKey() noexcept = default;
    explicit UniqueHKey(HKEY key) noexcept : key_(key) {}
    UniqueHKey(UniqueHKey&& other) noexcept : key_(other.release()) {}
    UniqueHKey& operator=(UniqueHKey&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueHKey(const UniqueHKey&) = delete;
    UniqueHKey& operator=(const UniqueHKey&) = delete;
    ~UniqueHKey() { reset(); }

    HKEY get() const noexcept { return key_; }
    explicit operator bool() const noexcept { return key_ != nullptr; }
    // For RegOpenKeyExW and friends: releases what is held first.
    HKEY* put() noexcept {
        reset();
        return &key_;
    }
    HKEY release() noexcept { return std::exchange(key_, nullptr); }
    // Closes the key; returns the status of RegCloseKey (0 when none was held).
    LONG reset(HKEY key = nullptr) noexcept {
        LONG status = ERROR_SUCCESS;
        if (key_) status = RegCloseKey(key_);
        key_ = key;
        return status;
    }

private:
    HKEY key_ = nullptr;
};

// Owns one COM reference.
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

// Owns memory from the COM task allocator (shell display names and the like).
template <class T>
class UniqueCoTaskMem {
public:
    UniqueCoTaskMem() noexcept = default;
    explicit UniqueCoTaskMem(T* p) noexcept : ptr_(p) {}
    UniqueCoTaskMem(UniqueCoTaskMem&& other) noexcept : ptr_(other.release()) {}
    UniqueCoTaskMem& operator=(UniqueCoTaskMem&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueCoTaskMem(const UniqueCoTaskMem&) = delete;
    UniqueCoTaskMem& operator=(const UniqueCoTaskMem&) = delete;
    ~UniqueCoTaskMem() { reset(); }

    T* get() const noexcept { return ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }
    T** put() noexcept {
        reset();
        return &ptr_;
    }
    T* release() noexcept { return std::exchange(ptr_, nullptr); }
    void reset(T* p = nullptr) noexcept {
        if (ptr_) CoTaskMemFree(ptr_);
        ptr_ = p;
    }

private:
    T* ptr_ = nullptr;
};

using UniqueCoTaskMemString = UniqueCoTaskMem<wchar_t>;

// Owns an item ID list from ILClone and friends; frees it with ILFree.
class UniqueIdList {
public:
    UniqueIdList() noexcept = default;
    explicit UniqueIdList(PIDLIST_ABSOLUTE p) noexcept : ptr_(p) {}
    UniqueIdList(UniqueIdList&& other) noexcept : ptr_(other.release()) {}
    UniqueIdList& operator=(UniqueIdList&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueIdList(const UniqueIdList&) = delete;
    UniqueIdList& operator=(const UniqueIdList&) = delete;
    ~UniqueIdList() { reset(); }

    PIDLIST_ABSOLUTE get() const noexcept { return ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }
    PIDLIST_ABSOLUTE release() noexcept { return std::exchange(ptr_, nullptr); }
    void reset(PIDLIST_ABSOLUTE p = nullptr) noexcept {
        if (ptr_) ILFree(ptr_);
        ptr_ = p;
    }

private:
    PIDLIST_ABSOLUTE ptr_ = nullptr;
};

// Owns a module handle from LoadLibrary*; frees it with FreeLibrary.
class UniqueModule {
public:
    UniqueModule() noexcept = default;
    explicit UniqueModule(HMODULE m) noexcept : module_(m) {}
    UniqueModule(UniqueModule&& other) noexcept : module_(other.release()) {}
    UniqueModule& operator=(UniqueModule&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueModule(const UniqueModule&) = delete;
    UniqueModule& operator=(const UniqueModule&) = delete;
    ~UniqueModule() { reset(); }

    HMODULE get() const noexcept { return module_; }
    explicit operator bool() const noexcept { return module_ != nullptr; }
    HMODULE release() noexcept { return std::exchange(module_, nullptr); }
    void reset(HMODULE m = nullptr) noexcept {
        if (module_) FreeLibrary(module_);
        module_ = m;
    }

private:
    HMODULE module_ = nullptr;
};

// Owns a BSTR; frees it with SysFreeString.
class UniqueBstr {
public:
    UniqueBstr() noexcept = default;
    explicit UniqueBstr(BSTR s) noexcept : str_(s) {}
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { reset(); }

    BSTR get() const noexcept { return str_; }
    BSTR* put() noexcept {
        reset();
        return &str_;
    }
    void reset(BSTR s = nullptr) noexcept {
        if (str_) SysFreeString(str_);
        str_ = s;
    }

private:
    BSTR str_ = nullptr;
};

}  // namespace brell
