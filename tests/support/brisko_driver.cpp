// The e2e driver: one Brisko process per Instance, found and driven by its window.
#include "tests/support/brisko_driver.h"

#include "framework/scoped_win.h"
#include "res/resource.h"
#include "tests/support/trace_kit.h"

#include <sddl.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <cstring>
#include <sstream>

namespace brisko {

namespace {

const char kMarksKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

struct Place {
    unsigned bit;
    HKEY root;
    std::string key;
    REGSAM view;
};

LONG OpenPlace(const Place& place, REGSAM access, ScopedKey& key)
{
    const auto create = [&](HKEY parent, const wchar_t* path, HKEY* made) {
        return RegCreateKeyExW(parent, path, 0, nullptr, 0, access | place.view, nullptr, made, nullptr);
    };
    return key.Open(create, place.root, trace_kit::Wide(place.key).c_str());
}

struct Search {
    DWORD processId;
    HWND except;
    const char *cls, *caption; // a null caption: any
    bool visible;
    HWND found;
};

BOOL CALLBACK FindTopLevel(HWND hWnd, LPARAM lParam)
{
    Search* s = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    char cls[32] = "", caption[64] = "";
    ::GetWindowThreadProcessId(hWnd, &pid);
    ::GetClassNameA(hWnd, cls, sizeof cls);
    ::GetWindowTextA(hWnd, caption, sizeof caption);
    if (pid != s->processId || hWnd == s->except || lstrcmpiA(cls, s->cls) ||
        (s->caption && std::strcmp(caption, s->caption)) || (s->visible && !::IsWindowVisible(hWnd)))
        return TRUE;
    s->found = hWnd;
    return FALSE;
}

// The shell's answer about Brisko's icon.
bool TrayCall(HWND hWnd, DWORD message)
{
    NOTIFYICONDATAA nid = {};
    nid.cbSize = sizeof nid;
    nid.hWnd = hWnd;
    nid.uID = 101;
    return ::Shell_NotifyIconA(message, &nid) != FALSE;
}

} // namespace

std::string InBuild(const char* relative)
{
    std::string path = std::string("Y:\\") + relative;
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    return path;
}

std::string ExePath() { return InBuild(BRISKO_EXE_IN_BUILD); }

std::string SettingsPath() { return trace_kit::SystemFolder() + "bri.sko"; }

std::array<int, 20> Ticked(std::initializer_list<int> steps)
{
    std::array<int, 20> flags = {};
    for (int step : steps)
        flags[step - 1] = 1;
    return flags;
}

std::string SettingsBytes(const std::array<int, 20>& flags, const std::string& minutes)
{
    std::string bytes;
    for (int i = 0; i <= 20; ++i) {
        const DWORD value = i < 20 ? static_cast<DWORD>(flags[i]) : static_cast<DWORD>(minutes.size());
        bytes.append(reinterpret_cast<const char*>(&value), 4);
    }
    return bytes + minutes;
}

int StoredFlag(const std::string& file, int index)
{
    int value = -1;
    if (file.size() >= 4u * index + 4)
        std::memcpy(&value, file.data() + 4 * index, 4);
    return value;
}

std::string RunValue(HKEY root) { return trace_kit::GetString(root, kRunKey, "Brisko"); }

std::wstring WideRunValue(HKEY root)
{
    wchar_t data[4096] = L"";
    DWORD size = sizeof data - sizeof(wchar_t);
    const std::wstring key = trace_kit::Wide(kRunKey);
    if (RegGetValueW(root, key.c_str(), L"Brisko", RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return L"<none>";
    return data;
}

bool SetWideRunValue(HKEY root, const std::wstring& data)
{
    return RegSetKeyValueW(root, trace_kit::Wide(kRunKey).c_str(), L"Brisko", REG_SZ, data.c_str(),
                           static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

HANDLE MakeWaitOnlyInstanceMutex()
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;0x100000;;;WD)", SDDL_REVISION_1, &sd, nullptr))
        return nullptr;
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd, FALSE};
    HANDLE mutex = CreateMutexA(&sa, FALSE, "Local\\Brisko.Instance");
    LocalFree(sd);
    return mutex;
}

int MainWindowCount()
{
    int windows = 0;
    for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", "Brisko")) != nullptr;)
        windows += GetDlgItem(w, IDC_CLEARNOW) != nullptr;
    return windows;
}

int ProcessCount()
{
    ScopedFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry))
        count += lstrcmpiA(entry.szExeFile, "Brisko.exe") == 0;
    return count;
}

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kVirtualRunKey[] =
    "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
// The 32-bit machine entry's marks are apart, in "Run32".
const Place kPlaces[] = {{kMachineEntry, HKEY_LOCAL_MACHINE, kRunKey, 0},
                         {kUserEntry, HKEY_CURRENT_USER, kRunKey, 0},
                         {kVirtualEntry, HKEY_CURRENT_USER, kVirtualRunKey, KEY_WOW64_64KEY},
                         {kMachineMark, HKEY_LOCAL_MACHINE, std::string(kMarksKey) + "32", KEY_WOW64_64KEY},
                         {kUserMark, HKEY_CURRENT_USER, kMarksKey, KEY_WOW64_64KEY}};

bool PlantStartup(unsigned places, const std::wstring& entry)
{
    const BYTE off[12] = {3};
    for (const Place& place : kPlaces) {
        ScopedKey key;
        const bool mark = place.bit >= kMachineMark;
        if ((places & place.bit) &&
            (OpenPlace(place, KEY_SET_VALUE, key) != ERROR_SUCCESS ||
             RegSetValueExW(key.get(), L"Brisko", 0, mark ? REG_BINARY : REG_SZ,
                            mark ? off : reinterpret_cast<const BYTE*>(entry.c_str()),
                            mark ? sizeof off : static_cast<DWORD>((entry.size() + 1) * sizeof(wchar_t))) != 0))
            return false;
    }
    return true;
}

unsigned StartupPlaces(const std::wstring& entry)
{
    unsigned places = 0;
    for (const Place& place : kPlaces) {
        ScopedKey key;
        wchar_t data[4096] = L"";
        DWORD size = sizeof data - sizeof(wchar_t);
        if (OpenPlace(place, KEY_QUERY_VALUE, key) == ERROR_SUCCESS &&
            RegQueryValueExW(key.get(), L"Brisko", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) == 0 &&
            (place.bit >= kMachineMark || entry == data))
            places |= place.bit;
    }
    return places;
}

void DeleteRunValues()
{
    for (const Place& place : kPlaces) {
        ScopedKey key;
        if (OpenPlace(place, KEY_SET_VALUE, key) == ERROR_SUCCESS)
            RegDeleteValueW(key.get(), L"Brisko");
    }
}

ValuesDenied::ValuesDenied(HKEY root, const char* key, bool deny)
    : m_root(root),
      m_key(key),
      m_saved(deny ? trace_kit::KeySddl(root, key) : std::string()),
      m_held(!deny || (!m_saved.empty() && trace_kit::SetKeySddl(root, key, "D:(D;;0x2;;;WD)(A;;KA;;;WD)")))
{
}

ValuesDenied::~ValuesDenied()
{
    if (!m_saved.empty())
        trace_kit::SetKeySddl(m_root, m_key, m_saved.c_str());
}

FILETIME SettingsWriteTime()
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(SettingsPath().c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

SharedStateGuard::SharedStateGuard() : m_settings(trace_kit::ReadBytes(SettingsPath()))
{
    ::DeleteFileA(SettingsPath().c_str());
    DeleteRunValues();
}

SharedStateGuard::~SharedStateGuard()
{
    DeleteRunValues();
    ::DeleteFileA(SettingsPath().c_str());
    if (m_settings != "<missing>")
        trace_kit::WriteBytes(SettingsPath(), m_settings);
}

bool RunCommand(const std::string& line, std::string* output, DWORD timeoutMs)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return false;
    ScopedFile reader(readEnd), writer(writeEnd);
    ::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    // Only a reader gets the pipe: an installer's helpers that outlive it would hold it open.
    si.dwFlags = output ? STARTF_USESTDHANDLES : 0;
    si.hStdOutput = si.hStdError = writer.get();
    PROCESS_INFORMATION pi = {};
    std::string command = line;
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, output != nullptr, 0, nullptr, nullptr, &si, &pi))
        return false;
    ScopedFile process(pi.hProcess), thread(pi.hThread);
    writer = ScopedFile(nullptr); // the child's exit then ends the reading
    char buffer[4096];
    DWORD got = 0, code = 1;
    while (output && ::ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        output->append(buffer, got);
    return ::WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0 && ::GetExitCodeProcess(pi.hProcess, &code) &&
           code == 0;
}

bool RunKit(const std::string& args, std::string& output)
{
    output.clear();
    return RunCommand("\"" + InBuild(TRACE_KIT_IN_BUILD) + "\" " + args, &output);
}

std::vector<trace_kit::TraceState> KitReport()
{
    std::string output, state, step, also, name;
    std::vector<trace_kit::TraceState> traces;
    if (!RunKit("report", output))
        return traces;
    std::istringstream lines(output);
    while (std::getline(lines, state, '\t') && std::getline(lines, step, '\t') && std::getline(lines, also, '\t') &&
           std::getline(lines, name))
        traces.push_back({name, std::stoi(step), std::stoi(also), state == "present"});
    return traces;
}

bool IsFinished(const std::string& status) { return status.rfind("Finished!", 0) == 0; }

bool CleanOnce(const std::array<int, 20>& flags, const std::string& temp, std::string* finished)
{
    if (!trace_kit::WriteBytes(SettingsPath(), SettingsBytes(flags, "5")))
        return false;
    wchar_t own[2][MAX_PATH] = {};
    const wchar_t* const names[] = {L"TMP", L"TEMP"};
    for (int i = 0; i < 2 && !temp.empty(); ++i) {
        ::GetEnvironmentVariableW(names[i], own[i], MAX_PATH);
        ::SetEnvironmentVariableW(names[i], trace_kit::Wide(temp).c_str());
    }
    Instance brisko;
    const bool started = brisko.Start();
    for (int i = 0; i < 2 && !temp.empty(); ++i)
        ::SetEnvironmentVariableW(names[i], own[i]);
    if (!started)
        return false;
    brisko.Click(IDC_CLEARNOW);
    std::string status;
    const bool ended = WaitFor([&] { return IsFinished(status = brisko.Text(IDC_STATUS)); }, 60000);
    if (finished)
        *finished = status;
    return ended && brisko.End(Ending::CloseBox);
}

Instance::~Instance()
{
    if (Running())
        ::TerminateProcess(m_pi.hProcess, 1);
    if (m_pi.hProcess)
        ::WaitForSingleObject(m_pi.hProcess, 5000);
    ScopedFile process(m_pi.hProcess), thread(m_pi.hThread);
}

bool Instance::Start(const std::string& args, const std::string& exe)
{
    std::string command = "\"" + exe + "\" " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (m_pi.hProcess ||
        !::CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi))
        return false;
    return WaitUntilReady();
}

bool Instance::StartAt(const std::wstring& exe, const std::string& args)
{
    std::wstring command = L"\"" + exe + L"\" " + trace_kit::Wide(args);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    if (m_pi.hProcess ||
        !::CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi))
        return false;
    return WaitUntilReady();
}

bool Instance::WaitUntilReady()
{
    Search search = {m_pi.dwProcessId, nullptr, "#32770", "Brisko", false, nullptr};
    WaitFor([&] { return !::EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search)) || !Running(); }, 30000);
    m_hWnd = search.found;
    // Wine may call the process idle before initialisation ends; the tray icon is its last act.
    DWORD_PTR result = 0;
    return m_hWnd && WaitFor([&] { return HasTrayIcon(); }, 30000) &&
           ::SendMessageTimeoutA(m_hWnd, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
}

std::string Instance::Text(int id) const
{
    char text[256] = "";
    ::SendMessageA(Item(id), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

void Instance::ChooseMinutes(int index) const
{
    ::SendMessageA(Item(IDC_MINUTES), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    Send(WM_COMMAND, MAKEWPARAM(IDC_MINUTES, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(IDC_MINUTES)));
}

bool Instance::HasTrayIcon() const { return TrayCall(m_hWnd, NIM_MODIFY); }

bool Instance::ForgetTrayIcon() const { return TrayCall(m_hWnd, NIM_DELETE); }

HWND Instance::FindShown(const char* cls, const char* caption, DWORD timeoutMs) const
{
    Search search = {m_pi.dwProcessId, m_hWnd, cls, caption, true, nullptr};
    WaitFor([&] { return !::EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search)); }, timeoutMs);
    return search.found;
}

bool Instance::End(Ending how, DWORD timeoutMs)
{
    DWORD_PTR answer = 0;
    if (how == Ending::LogoffDuringRun) { // sent in this order: the run holds the query up
        ::SendNotifyMessageA(Item(IDC_CLEARNOW), BM_CLICK, 0, 0);
        ::SendMessageTimeoutA(m_hWnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &answer);
    }
    if (how == Ending::Killed || how == Ending::LogoffDuringRun)
        ::TerminateProcess(m_pi.hProcess, 1);
    else if (how == Ending::CloseBox)
        ::PostMessageA(m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    else
        ::PostMessageA(Item(IDC_TEMPFILES), WM_KEYDOWN, how == Ending::Escape ? VK_ESCAPE : VK_RETURN, 0);
    return m_pi.hProcess && ::WaitForSingleObject(m_pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

HeldClose::HeldClose(Instance& brisko) : m_brisko(brisko)
{
    WNDCLASSA cls = {};
    cls.lpfnWndProc = DefWindowProcA;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "Shell_TrayWnd";
    RegisterClassA(&cls);
    m_tray = CreateWindowExA(WS_EX_TOPMOST, cls.lpszClassName, nullptr, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                             cls.hInstance, nullptr);
    if (!m_tray || FindWindowA(cls.lpszClassName, nullptr) != m_tray)
        return;
    PostMessageA(brisko.Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    // Held once its call waits on this thread.
    m_holding = WaitFor([] { return (GetQueueStatus(QS_SENDMESSAGE) & QS_SENDMESSAGE) != 0; }, 15000);
}

HeldClose::~HeldClose() { DestroyWindow(m_tray); }

bool HeldClose::Release()
{
    const bool ended = WaitFor(
        [&] {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            return !m_brisko.Running();
        },
        15000);
    DestroyWindow(m_tray);
    m_tray = nullptr;
    return ended;
}

} // namespace brisko
