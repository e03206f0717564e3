// Owners for what the application shell takes from the system: each releases on every path.
#pragma once

#include <windows.h>

#include <cstdio>
#include <memory>
#include <type_traits>

struct StdFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using ScopedStdFile = std::unique_ptr<std::FILE, StdFileCloser>;

struct RegKeyCloser {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using ScopedRegKey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegKeyCloser>;

struct IconDestroyer {
    void operator()(HICON icon) const { ::DestroyIcon(icon); }
};
using ScopedIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDestroyer>;

// COM for the thread while the main dialog runs (the history step needs it).
class ScopedComInit {
public:
    ScopedComInit() : m_bInitialized(SUCCEEDED(::CoInitialize(nullptr))) {}
    ~ScopedComInit()
    {
        if (m_bInitialized)
            ::CoUninitialize();
    }
    ScopedComInit(const ScopedComInit&) = delete;
    ScopedComInit& operator=(const ScopedComInit&) = delete;

private:
    bool m_bInitialized;
};
