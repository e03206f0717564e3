// The URL cache purge.
#include "clean/url_cache.h"

#include "framework/scoped_win.h"

#include <windows.h>
#include <wininet.h>

namespace {

using EntryBuffer = ScopedMalloc<INTERNET_CACHE_ENTRY_INFOA>;

EntryBuffer AllocateEntry(DWORD size)
{
    return EntryBuffer(static_cast<INTERNET_CACHE_ENTRY_INFOA*>(std::malloc(size)));
}

bool ShouldDelete(int mode, DWORD entryType)
{
    const bool cookie = (entryType & COOKIE_CACHE_ENTRY) != 0;
    return (mode == 0 && !cookie) || (mode == 1 && cookie);
}

} // namespace

bool PurgeUrlCache(int mode)
{
    // Size probes with no buffer fail without moving the enumeration and report the entry's size.
    DWORD size = 0;
    FindFirstUrlCacheEntryA(nullptr, nullptr, &size);
    EntryBuffer entry = AllocateEntry(size);
    if (!entry)
        return false;
    // Declared after the buffer so that the enumeration is closed before the buffer is released.
    ScopedUrlCacheFind find(FindFirstUrlCacheEntryA(nullptr, entry.get(), &size));
    if (!find)
        return false;

    for (;;) {
        if (ShouldDelete(mode, entry->CacheEntryType))
            DeleteUrlCacheEntryA(entry->lpszSourceUrlName);
        size = 0;
        FindNextUrlCacheEntryA(find.get(), nullptr, &size);
        entry.reset();
        entry = AllocateEntry(size);
        // A buffer that cannot be allocated ends the walk like the end of the cache.
        if (!entry || !FindNextUrlCacheEntryA(find.get(), entry.get(), &size))
            break;
    }
    return true;
}
