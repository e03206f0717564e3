// The URL cache purge: deletes WinINet cache entries chosen by their cookie bit.
#pragma once

// Mode 0 deletes every entry without COOKIE_CACHE_ENTRY, mode 1 every entry with it, any other mode
// nothing (the cache is still walked). True when the enumeration opened.
bool PurgeUrlCache(int mode);
