// Owners for the platform handles the program takes: each releases on every path.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <type_traits>

struct HandleCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
struct FindHandleCloser {
    void operator()(HANDLE h) const { FindClose(h); }
};
struct UrlCacheFindCloser {
    void operator()(HANDLE h) const { FindCloseUrlCache(h); }
};
struct StdFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
struct IconDestroyer {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};
struct MallocFree {
    void operator()(void* p) const { std::free(p); }
};
struct ComRelease {
    void operator()(IUnknown* p) const { p->Release(); }
};

// A kernel object handle (file, token, process, mutex): null and INVALID_HANDLE_VALUE both mean none.
class ScopedFile {
public:
    ScopedFile() = default;
    explicit ScopedFile(HANDLE h) : m_h(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    explicit operator bool() const { return m_h != nullptr; }
    HANDLE get() const { return m_h.get(); }

private:
    std::unique_ptr<void, HandleCloser> m_h;
};

// A FindFirstFileA handle: INVALID_HANDLE_VALUE means none.
class ScopedFind {
public:
    explicit ScopedFind(HANDLE h) : m_h(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    explicit operator bool() const { return m_h != nullptr; }
    HANDLE get() const { return m_h.get(); }

private:
    std::unique_ptr<void, FindHandleCloser> m_h;
};

// A registry key, opened or created by the registry call given (its result slot comes last): the key
// held before is closed first, and only a call that succeeded leaves a key held.
class ScopedKey {
public:
    ScopedKey() = default;
    ~ScopedKey() { Close(); }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    explicit operator bool() const { return m_hKey != nullptr; }
    HKEY get() const { return m_hKey; }

    template <typename Call, typename... Args> LONG Open(Call call, Args... args)
    {
        Close();
        HKEY hKey = nullptr;
        const LONG result = call(args..., &hKey);
        if (result == ERROR_SUCCESS)
            m_hKey = hKey;
        return result;
    }

private:
    void Close()
    {
        if (m_hKey != nullptr)
            RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }
    HKEY m_hKey = nullptr;
};

using ScopedUrlCacheFind = std::unique_ptr<void, UrlCacheFindCloser>;
template <typename T> using ScopedMalloc = std::unique_ptr<T, MallocFree>;
template <typename T> using ScopedCom = std::unique_ptr<T, ComRelease>;
using ScopedStdFile = std::unique_ptr<std::FILE, StdFileCloser>;
using ScopedIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDestroyer>;

// COM for the thread while the main dialog runs (the history step needs it).
class ScopedComInit {
public:
    ScopedComInit() : m_bInitialized(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ScopedComInit()
    {
        if (m_bInitialized)
            CoUninitialize();
    }
    ScopedComInit(const ScopedComInit&) = delete;
    ScopedComInit& operator=(const ScopedComInit&) = delete;

private:
    bool m_bInitialized;
};
