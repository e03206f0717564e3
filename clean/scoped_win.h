// Owners for the platform handles the cleaning engine takes: each releases on every path.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <memory>

struct FileHandleCloser {
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
struct MallocFree {
    void operator()(void* p) const { std::free(p); }
};
struct ComRelease {
    void operator()(IUnknown* p) const { p->Release(); }
};

// A file handle: INVALID_HANDLE_VALUE means none.
class ScopedFile {
public:
    explicit ScopedFile(HANDLE h) : m_h(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    explicit operator bool() const { return m_h != nullptr; }
    HANDLE get() const { return m_h.get(); }

private:
    std::unique_ptr<void, FileHandleCloser> m_h;
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
