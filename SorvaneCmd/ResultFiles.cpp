#include "console/ResultFiles.h"

#include "console/ResultCodes.h"
#include "engine/Checksums.h"
#include "run/ConsoleCommand.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace sorvane {

namespace results {

namespace {

bool isHigh(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLow(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void appendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

void appendEscape(std::string& out, unsigned unit)
{
    char escape[8];
    std::snprintf(escape, sizeof(escape), "\\u%04X", unit);
    out += escape;
}

// Walks `text` by code point: pairs of surrogates joined, a lone one
// handed over as it is (`lone` true).
template <class Visit>
void eachCodePoint(const std::wstring& text, Visit visit)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (isHigh(c) && i + 1 < text.size() && isLow(text[i + 1])) {
            visit(0x10000 + ((static_cast<uint32_t>(c) - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00),
                  false);
            ++i;
        } else {
            visit(static_cast<uint32_t>(c), isHigh(c) || isLow(c));
        }
    }
}

// The members of a JSON object's text, without its braces.
std::string members(const nlohmann::ordered_json& object)
{
    const std::string text = object.dump();
    return text.substr(1, text.size() - 2);
}

} // namespace

std::string jsonString(const std::wstring& text)
{
    std::string out = "\"";
    eachCodePoint(text, [&out](uint32_t code, bool lone) {
        if (lone) {
            appendEscape(out, code);
            return;
        }
        switch (code) {
        case '"': out += "\\\""; return;
        case '\\': out += "\\\\"; return;
        case '\n': out += "\\n"; return;
        case '\r': out += "\\r"; return;
        case '\t': out += "\\t"; return;
        default: break;
        }
        if (code < 0x20 || code == 0x7F) appendEscape(out, code);
        else appendUtf8(out, code);
    });
    out += '"';
    return out;
}

std::string utf8Text(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size());
    eachCodePoint(text, [&out](uint32_t code, bool lone) {
        if (lone) appendEscape(out, code);
        else appendUtf8(out, code);
    });
    return out;
}

std::string csvField(const std::wstring& text)
{
    const std::string bytes = utf8Text(text);
    const bool quoted = bytes.find_first_of(",\"\r\n") != std::string::npos ||
                        (!bytes.empty() && (bytes.front() == ' ' || bytes.back() == ' '));
    if (!quoted) return bytes;
    std::string out = "\"";
    for (const char c : bytes) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string jsonLine(const ResultRow& row)
{
    nlohmann::ordered_json head;
    head["action"] = row.action;
    head["status"] = row.planned ? "planned" : statusCode(row.outcome.status);
    head["reason"] = reasonCode(row.outcome);
    nlohmann::ordered_json tail;
    if (row.hasFacts) {
        tail["size"] = row.size;
        tail["mtime"] = utf8Text(console::formatUtcTime(row.lastWrite));
    } else {
        tail["size"] = nullptr;
        tail["mtime"] = nullptr;
    }
    // As xxhsum -H2 prints it.
    if (row.outcome.digest) tail["xxh128"] = digestText(*row.outcome.digest);
    else tail["xxh128"] = nullptr;
    if (row.outcome.error != 0) tail["error"] = row.outcome.error;

    std::string line = "{\"source\":" + jsonString(row.source) + ",\"target\":";
    line += row.target.empty() ? "null" : jsonString(row.target);
    line += "," + members(head) + ",\"reason_text\":" + jsonString(row.reasonText) + "," + members(tail) + "}\n";
    return line;
}

std::string jsonClosing(const ResultTotals& totals)
{
    nlohmann::ordered_json object;
    object["totals"] = {
        {"files", totals.files},          {"completed", totals.completed},
        {"verified", totals.verified},    {"failed", totals.failed},
        {"failed_folders", totals.failedFolders}, {"links_skipped", totals.linksSkipped},
        {"bytes", totals.bytes},          {"done_bytes", totals.doneBytes},
    };
    object["end"] = totals.end;
    object["exit_code"] = totals.exitCode;
    return object.dump() + "\n";
}

std::string csvHeader()
{
    return "\xEF\xBB\xBF"
           "source,target,action,status,reason,reason_text,size,mtime,xxh128\r\n";
}

std::string csvLine(const ResultRow& row)
{
    std::string line = csvField(row.source) + "," + csvField(row.target) + "," + row.action + "," +
                       (row.planned ? "planned" : statusCode(row.outcome.status)) + "," + reasonCode(row.outcome) + "," +
                       csvField(row.reasonText) + ",";
    if (row.hasFacts) line += std::to_string(row.size) + "," + utf8Text(console::formatUtcTime(row.lastWrite));
    else line += ",";
    line += ",";
    if (row.outcome.digest) line += digestText(*row.outcome.digest);
    line += "\r\n";
    return line;
}

} // namespace results

DWORD ResultFile::open(const std::wstring& path)
{
    path_ = path;
    // Others may read the rows while the run goes on.
    file_.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    return file_ ? 0 : ::GetLastError();
}

bool ResultFile::write(const std::string& bytes)
{
    if (!file_) return false;
    const char* at = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
        if (!::WriteFile(file_.get(), at, chunk, &written, nullptr) || written == 0) return false;
        at += written;
        left -= written;
    }
    return true;
}

} // namespace sorvane
