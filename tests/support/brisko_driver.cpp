// The e2e driver: one Brisko process per Instance, found and driven by its window.
#include "tests/support/brisko_driver.h"

#include "res/resource.h"

#include <shellapi.h>

#include <cstdint>

namespace brisko {

namespace {

struct FindContext {
    DWORD processId;
    const char* caption;
    HWND found;
};

BOOL CALLBACK FindTopLevel(HWND hWnd, LPARAM lParam)
{
    FindContext* ctx = reinterpret_cast<FindContext*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    char cls[32] = "", caption[64] = "";
    ::GetClassNameA(hWnd, cls, sizeof cls);
    ::GetWindowTextA(hWnd, caption, sizeof caption);
    if (pid == ctx->processId && lstrcmpA(cls, "#32770") == 0 && lstrcmpA(caption, ctx->caption) == 0) {
        ctx->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

void AppendLe32(std::string& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back((char)(value >> shift));
}

} // namespace

std::string ExePath()
{
    // The build tree is drive Y: inside the sandbox.
    std::string path = "Y:\\" BRISKO_EXE_IN_BUILD;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string SettingsPath()
{
    char system[MAX_PATH];
    UINT length = ::GetSystemDirectoryA(system, MAX_PATH);
    return std::string(system, length < MAX_PATH ? length : 0) + "bri.sko";
}

std::string SettingsBytes(const std::array<int, 20>& flags, const std::string& minutes)
{
    std::string bytes;
    for (int flag : flags)
        AppendLe32(bytes, (std::uint32_t)flag);
    AppendLe32(bytes, (std::uint32_t)minutes.size());
    return bytes + minutes;
}

std::array<int, 20> NoSteps() { return {}; }

bool ReadBytes(const std::string& path, std::string& bytes)
{
    bytes.clear();
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    char buffer[512];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    ::CloseHandle(h);
    return true;
}

bool WriteBytes(const std::string& path, const std::string& bytes)
{
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = ::WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == bytes.size();
}

Instance::~Instance()
{
    if (Running()) {
        ::TerminateProcess(m_pi.hProcess, 1);
        ::WaitForSingleObject(m_pi.hProcess, 5000);
    }
    Release();
}

void Instance::Release()
{
    if (m_pi.hProcess != nullptr)
        ::CloseHandle(m_pi.hProcess);
    if (m_pi.hThread != nullptr)
        ::CloseHandle(m_pi.hThread);
    m_pi = {};
    m_hWnd = nullptr;
}

bool Instance::Start(const std::string& args, DWORD timeoutMs)
{
    if (Running())
        return false;
    Release();
    std::string exe = ExePath();
    std::string command = "\"" + exe + "\"";
    if (!args.empty())
        command += " " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (!::CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi))
        return false;
    FindContext ctx = {m_pi.dwProcessId, "Brisko", nullptr};
    bool found = WaitFor(
        [&] {
            ::EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&ctx));
            return ctx.found != nullptr || !Running();
        },
        timeoutMs);
    if (!found || ctx.found == nullptr)
        return false;
    m_hWnd = ctx.found;
    // The window is found while it is still being initialised, and Wine may call the process idle
    // before that ends. The tray icon is the last thing initialisation adds.
    if (::WaitForInputIdle(m_pi.hProcess, timeoutMs) != 0 || !WaitFor([&] { return HasTrayIcon(); }, timeoutMs))
        return false;
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutA(m_hWnd, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

void Instance::Click(int id) const { ::SendMessageA(Item(id), BM_CLICK, 0, 0); }

bool Instance::IsChecked(int id) const { return ::SendMessageA(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

std::string Instance::Text(int id) const
{
    char text[256] = "";
    ::SendMessageA(Item(id), WM_GETTEXT, sizeof text, (LPARAM)text);
    return text;
}

std::string Instance::Status() const { return Text(IDC_STATUS); }

void Instance::ChooseMinutes(int index) const
{
    HWND combo = Item(IDC_MINUTES);
    ::SendMessageA(combo, CB_SETCURSEL, (WPARAM)index, 0);
    Send(WM_COMMAND, MAKEWPARAM(IDC_MINUTES, CBN_SELCHANGE), (LPARAM)combo);
}

LRESULT Instance::Send(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

bool Instance::HasTrayIcon() const
{
    NOTIFYICONDATAA nid = {};
    nid.cbSize = sizeof nid;
    nid.hWnd = m_hWnd;
    nid.uID = 101;
    return ::Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

HWND Instance::FindOwnWindow(const char* caption, DWORD timeoutMs) const
{
    FindContext ctx = {m_pi.dwProcessId, caption, nullptr};
    WaitFor(
        [&] {
            ::EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&ctx));
            return ctx.found != nullptr;
        },
        timeoutMs);
    return ctx.found;
}

bool Instance::End(Ending how, DWORD timeoutMs)
{
    switch (how) {
    case Ending::CloseBox:
        ::PostMessageA(m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case Ending::Escape:
        ::PostMessageA(Item(IDC_TEMPFILES), WM_KEYDOWN, VK_ESCAPE, 0);
        break;
    case Ending::EnterOnCheckBox:
        ::PostMessageA(Item(IDC_TEMPFILES), WM_KEYDOWN, VK_RETURN, 0);
        break;
    }
    return WaitForExit(timeoutMs);
}

bool Instance::WaitForExit(DWORD timeoutMs)
{
    return m_pi.hProcess != nullptr && ::WaitForSingleObject(m_pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

bool Instance::Running() const
{
    return m_pi.hProcess != nullptr && ::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT;
}

} // namespace brisko
