// The HTML report of a run: head, tables of rows, paragraphs and footer,
// written through CLog in UTF-8. It is also the engine's log. Every text
// it writes is escaped ("&", "<", ">", '"'), so that a name such as
// "R&amp;D.txt" or a pattern holding "<" shows as it is and never becomes
// markup; paths are shown without the long-path prefix.
#pragma once

#include "engine/EngineSinks.h"
#include "run/Log.h"
#include "run/OutcomeTexts.h"

namespace sorvane {

class FILE_TREE_SETTING;

class CLogHtml : public CLog, public ILogSink {
public:
    CLogHtml() = default;
    ~CLogHtml() override;

    void WriteHead(const wchar_t* generator, const wchar_t* title);
    void BeginTable();
    void EndTable();
    // One row of `count` cells; colour kColourNone for a plain row.
    void WriteRow(const wchar_t* const* cells, int count, COLORREF colour);
    // Two-cell rows: a label from the string table and a text or another
    // string (each cut to 255 characters).
    void WriteLabelRow(UINT labelId, const wchar_t* text, COLORREF colour = kColourNone);
    void WriteLabelRow(UINT labelId, UINT valueId, COLORREF colour = kColourNone);
    // A label and a link: `text` shown (whole, as a path is), `url` the
    // link's target; both escaped.
    void WriteLinkRow(UINT labelId, const wchar_t* text, const wchar_t* url);
    void WriteParagraph(UINT textId, COLORREF colour);
    void WriteParagraph(const wchar_t* text, COLORREF colour);
    void WriteFooter();
    // The settings of a run, as confirmed in the dialog.
    void WriteSettingsTable(const FILE_TREE_SETTING& job);

    // ILogSink: one row per item of a run, its text and colour as
    // OutcomeTexts has them. The status cell is the status text, followed,
    // after "--", by the reason (its "%s" marks filled from the outcome's
    // names) and the system's message for the error; a failure without a
    // reason always shows the system's message.
    void WriteOutcome(const wchar_t* path, const Outcome& outcome) override;

private:
    void writeRow(const wchar_t* const* cells, int count, COLORREF colour, bool firstIsPath);
    void writeEscaped(const wchar_t* text);
    void writePathCell(const wchar_t* path);
    void writeItemRow(const wchar_t* path, UINT statusId, COLORREF colour);
    void writeErrorRow(const wchar_t* path, UINT statusId, DWORD error, COLORREF colour);
    void writeReasonRow(const wchar_t* path, UINT statusId, UINT reasonId, DWORD error, COLORREF colour);
    void writeDetailRow(const wchar_t* path, UINT statusId, UINT reasonId, const wchar_t* first,
                        const wchar_t* second, COLORREF colour);
};

namespace report {

// "#RRGGBB" for a colour laid out 0x00BBGGRR.
std::string colourText(COLORREF colour);
// The list with one blank after every ';'.
std::wstring spacedList(const wchar_t* list);
// A FILETIME (UTC) as the user's long date in local time, then "-H:M:S".
std::wstring timeText(const FILETIME& utc);

// Reads the number `registryValue` of the program's key, returns
// "<folder><stem><n>.htm" and stores the next number of a ring of sixteen.
std::wstring chooseNumberedPath(const wchar_t* dataFolder, const wchar_t* stem, const wchar_t* registryValue);
// The run's report: "LogFileNo", "<folder>SorvaneLog<n>.htm".
std::wstring chooseReportPath(const wchar_t* dataFolder);

} // namespace report

} // namespace sorvane
