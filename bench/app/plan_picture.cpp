// Drives the real Sorvane.exe to a plan page for the README's picture: a
// Filter Move of SOURCE's content into TARGET ("if the source is newer",
// read-only targets protected), "Plan" pressed, the page waited for, the
// dialog cancelled. Prints the page's path; nothing on disk is moved.
//
//   plan_picture EXE SOURCE TARGET
#include "Driver.h"

#include <cstdio>
#include <string>

using namespace sorvane;

namespace {

// The page once the program has written all of it; empty after `ms`.
std::string completePage(const std::wstring& path, DWORD ms)
{
    const DWORD start = ::GetTickCount();
    do {
        HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            std::string page;
            char buffer[4096];
            DWORD got = 0;
            while (::ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) page.append(buffer, got);
            ::CloseHandle(file);
            if (page.size() > 9 && page.compare(page.size() - 9, 9, "</html>\r\n") == 0) return page;
        }
        ::Sleep(100);
    } while (::GetTickCount() - start < ms);
    return {};
}

DWORD planNumber()
{
    DWORD number = 0;
    DWORD size = sizeof(number);
    if (::RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Brenmoor\\Sorvane", L"PlanFileNo", RRF_RT_REG_DWORD, nullptr,
                       &number, &size) != ERROR_SUCCESS) {
        return 0;
    }
    return number;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: plan_picture EXE SOURCE TARGET\n");
        return 2;
    }
    const std::wstring page = e2e::dataFolder() + L"SorvanePlan" + std::to_wstring(planNumber()) + L".htm";
    ::DeleteFileW(page.c_str()); // the ring reuses names: no earlier page passes for this one
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\" /M:" + argv[2];
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "cannot start the program\n");
        return 2;
    }
    ::CloseHandle(process.hThread);
    int status = 0;
    HWND dialog = e2e::waitForDialog(process.dwProcessId, IDC_PLAN, 60000);
    if (!dialog) {
        std::fprintf(stderr, "the Filter Move dialog did not open\n");
        status = 2;
    } else {
        e2e::setControlText(dialog, e2e::kTarget, argv[3]);
        e2e::setControlText(dialog, e2e::kPatterns, L"*.*");
        e2e::click(dialog, e2e::kOverwriteFirst + 1);
        e2e::setChecked(dialog, e2e::kProtectReadOnly, true);
        e2e::press(dialog, IDC_PLAN);
        if (completePage(page, 60000).empty()) {
            std::fprintf(stderr, "no plan page\n");
            status = 2;
        } else {
            std::printf("%ls\n", page.c_str());
        }
        e2e::press(dialog, e2e::kCancel);
    }
    if (::WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) ::TerminateProcess(process.hProcess, 1);
    ::CloseHandle(process.hProcess);
    return status;
}
