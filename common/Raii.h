// Small owning wrappers for Win32 handles, modules, keys and COM pointers.
// Every resource the programs acquire is held by one of these, so that no
// error path can leak it.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace sorvane {

// Generic owner of a handle-like value with a closing function and an
// "invalid" sentinel.
template <typename T, typename Traits>
class UniqueResource {
public:
    UniqueResource() noexcept = default;
    explicit UniqueResource(T value) noexcept : value_(value) {}
    ~UniqueResource() { reset(); }

    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::invalid(); }
    T release() noexcept { return std::exchange(value_, Traits::invalid()); }
    void reset(T value = Traits::invalid()) noexcept
    {
        T old = std::exchange(value_, value);
        if (old != Traits::invalid()) Traits::close(old);
    }
    // For out-parameters of creating functions: releases what is held.
    T* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    T value_ = Traits::invalid();
};

struct FileHandleTraits {
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct KernelHandleTraits {
    static HANDLE invalid() noexcept { return nullptr; }
    static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct FindHandleTraits {
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { ::FindClose(h); }
};
struct ModuleTraits {
    static HMODULE invalid() noexcept { return nullptr; }
    static void close(HMODULE h) noexcept { ::FreeLibrary(h); }
};
struct RegKeyTraits {
    static HKEY invalid() noexcept { return nullptr; }
    static void close(HKEY h) noexcept { ::RegCloseKey(h); }
};

using UniqueFile = UniqueResource<HANDLE, FileHandleTraits>;     // CreateFileW
using UniqueHandle = UniqueResource<HANDLE, KernelHandleTraits>; // threads, mutexes, events
using UniqueFind = UniqueResource<HANDLE, FindHandleTraits>;     // FindFirstFileW
using UniqueModule = UniqueResource<HMODULE, ModuleTraits>;      // LoadLibraryW
using UniqueRegKey = UniqueResource<HKEY, RegKeyTraits>;

// Owner of memory from the COM task allocator (strings and identifier lists
// that shell and COM functions hand out).
template <typename T>
class CoTaskMemPtr {
public:
    CoTaskMemPtr() noexcept = default;
    ~CoTaskMemPtr() { reset(); }
    CoTaskMemPtr(const CoTaskMemPtr&) = delete;
    CoTaskMemPtr& operator=(const CoTaskMemPtr&) = delete;
    T get() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    void reset() noexcept
    {
        if (p_) ::CoTaskMemFree(const_cast<void*>(static_cast<const void*>(p_)));
        p_ = nullptr;
    }
    T* put() noexcept
    {
        reset();
        return &p_;
    }

private:
    T p_ = nullptr;
};

// Owner of a COM interface pointer.
template <typename I>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr& other) noexcept : p_(other.p_) { if (p_) p_->AddRef(); }
    ComPtr& operator=(const ComPtr& other) noexcept
    {
        if (other.p_) other.p_->AddRef();
        reset();
        p_ = other.p_;
        return *this;
    }
    I* get() const noexcept { return p_; }
    I* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    void reset() noexcept
    {
        if (p_) {
            I* old = p_;
            p_ = nullptr;
            old->Release();
        }
    }
    I** put() noexcept
    {
        reset();
        return &p_;
    }
    void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }

private:
    I* p_ = nullptr;
};

// Runs a callable when the scope ends (for one-off clean-ups).
template <typename F>
class ScopeExit {
public:
    explicit ScopeExit(F f) noexcept : f_(std::move(f)) {}
    ~ScopeExit() { if (armed_) f_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    void dismiss() noexcept { armed_ = false; }

private:
    F f_;
    bool armed_ = true;
};

} // namespace sorvane
