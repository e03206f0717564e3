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
struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
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

// A file handle: INVALID_HANDLE_VALUE means none.
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

using ScopedUrlCacheFind = std::unique_ptr<void, UrlCacheFindCloser>;
using ScopedKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;
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
