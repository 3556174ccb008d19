// A stand-in archiver library for the compress tests: it answers with the
// version, result and output text the test asks for (environment
// variables), records each command with the response file it names, beside
// itself in calls.log, and can write (or half write) the archive the
// command names.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

HMODULE g_self = nullptr;

std::string environment(const char* name)
{
    char value[1024] = {};
    const DWORD length = ::GetEnvironmentVariableA(name, value, sizeof(value));
    return length > 0 && length < sizeof(value) ? std::string(value, length) : std::string();
}

std::string readFile(const std::string& path)
{
    std::string content;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char chunk[4096];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof(chunk), f)) > 0) content.append(chunk, got);
        std::fclose(f);
    }
    return content;
}

// The archive a command names: its second word, quoted or not.
std::string archiveOf(const char* command)
{
    const char* p = std::strchr(command, ' ');
    if (!p) return {};
    ++p;
    if (*p == '"') {
        const char* end = std::strchr(p + 1, '"');
        return end ? std::string(p + 1, end) : std::string();
    }
    const char* end = std::strchr(p, ' ');
    return end ? std::string(p, end) : std::string(p);
}

void writeFile(const std::string& path, const char* text)
{
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fputs(text, f);
        std::fclose(f);
    }
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) g_self = instance;
    return TRUE;
}

extern "C" WORD WINAPI UnlhaGetVersion()
{
    const std::string version = environment("SORVANE_RECORDER_VERSION");
    return static_cast<WORD>(version.empty() ? 65 : std::atoi(version.c_str()));
}

extern "C" int WINAPI Unlha(HWND, LPCSTR command, LPSTR output, DWORD outputSize)
{
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(g_self, path, MAX_PATH);
    std::string log = path;
    log = log.substr(0, log.rfind('\\') + 1) + "calls.log";

    std::string record = "CMD:" + std::string(command ? command : "") + "\n";
    if (const char* at = command ? std::strchr(command, '@') : nullptr) {
        record += "RSP:" + readFile(at + 1) + "\n";
    }
    const std::string watch = environment("SORVANE_RECORDER_WATCH");
    if (!watch.empty()) {
        record += std::string("ARCHIVE:") + (::GetFileAttributesA(watch.c_str()) != INVALID_FILE_ATTRIBUTES ? "1" : "0") +
                  "\n";
    }
    if (FILE* f = std::fopen(log.c_str(), "ab")) {
        std::fwrite(record.data(), 1, record.size(), f);
        std::fclose(f);
    }
    const std::string result = environment("SORVANE_RECORDER_RESULT");
    const int code = result.empty() ? 0 : std::atoi(result.c_str());
    const bool archiving = command && (command[0] == 'a' || command[0] == 'u');
    // The archive it was told to write: complete on success, or left half
    // written by a run that "fails" (SORVANE_RECORDER_LITTER).
    if (archiving && environment("SORVANE_RECORDER_WRITE") == "1" && code == 0) {
        writeFile(archiveOf(command), "new archive");
    }
    if (archiving && environment("SORVANE_RECORDER_LITTER") == "1") writeFile(archiveOf(command), "partial");
    const std::string text = environment("SORVANE_RECORDER_OUTPUT");
    if (output && outputSize > 0) {
        const size_t length = text.size() < outputSize - 1 ? text.size() : outputSize - 1;
        std::memcpy(output, text.data(), length);
        output[length] = '\0';
    }
    return code;
}
