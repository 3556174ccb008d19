// The README's main job: a real filtered copy through the real program.
// Starts Sorvane.exe with an Explorer-style selection of every item in the
// source folder, fills the operation dialog (target, "*.txt;*.md"),
// presses Start, lets the run finish and prints where the report is.
// Pictures of the two dialogs are saved as BMP files in the output folder.
//
// Usage: demo_run.exe <Sorvane.exe> <source folder> <target folder> <picture folder>
#include <windows.h>

#include "Driver.h"
#include "common/HandOff.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace sorvane;

namespace {

// Saves the screen area of `window` as a 24-bit BMP file.
bool saveWindowPicture(HWND window, const std::wstring& path)
{
    RECT rect;
    if (!::GetWindowRect(window, &rect)) return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, old);

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(stride * static_cast<DWORD>(height));
    ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
                DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (!out) return false;
    std::fwrite(&file, sizeof(file), 1, out);
    std::fwrite(&header, sizeof(header), 1, out);
    std::fwrite(pixels.data(), 1, pixels.size(), out);
    std::fclose(out);
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 5) {
        std::fwprintf(stderr, L"usage: demo_run <Sorvane.exe> <source folder> <target folder> <picture folder>\n");
        return 2;
    }
    const std::wstring exe = argv[1];
    const std::wstring source = argv[2];
    const std::wstring target = argv[3];
    const std::wstring pictures = argv[4];

    // Every item of the source folder, as Explorer hands a selection over.
    std::vector<std::wstring> selection;
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((source + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") selection.push_back(source + L"\\" + name);
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
    }
    const std::wstring command = handoff::buildCommandText(handoff::Operation::Copy, nullptr, selection);
    std::wprintf(L"Sorvane.exe %ls\n", command.c_str());

    const int reportNumber = e2e::nextReportNumber();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::wstring line = L"\"" + exe + L"\" " + command;
    if (!::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fwprintf(stderr, L"cannot start %ls\n", exe.c_str());
        return 1;
    }
    HWND dialog = e2e::waitForDialog(process.dwProcessId, e2e::kPatterns, 30000);
    if (!dialog) {
        std::fwprintf(stderr, L"the operation dialog did not open\n");
        ::TerminateProcess(process.hProcess, 1);
        return 1;
    }
    e2e::setControlText(dialog, e2e::kTarget, target);
    e2e::setControlText(dialog, e2e::kPatterns, L"Text and notes|*.txt;*.md");
    ::Sleep(800);
    saveWindowPicture(dialog, pictures + L"\\operation-dialog.bmp");
    e2e::press(dialog, e2e::kStart);

    HWND progress = e2e::waitForDialog(process.dwProcessId, e2e::kFolderField, 30000);
    if (progress) {
        // The end of the run: the "Completed" button shows.
        for (int i = 0; i < 600 && ::IsWindow(progress) && !::IsWindowVisible(::GetDlgItem(progress, e2e::kCompleted)); ++i) {
            ::Sleep(50);
        }
        ::Sleep(300);
        saveWindowPicture(progress, pictures + L"\\progress-dialog.bmp");
        e2e::press(progress, e2e::kCompleted);
    }
    DWORD code = 1;
    if (::WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    std::wprintf(L"exit code %lu\nreport %lsSorvaneLog%d.htm\n", code, e2e::dataFolder().c_str(), reportNumber);
    return static_cast<int>(code);
}
