// How the outcomes the engine reports read and look: the string-table texts
// of statuses and reasons, and the colour of a report row. The report, the
// progress dialog and the operation dialog's refusal messages take them from
// here, so that an outcome reads the same wherever it is shown.
#pragma once

#include "engine/Outcome.h"

#include <windows.h>

namespace sorvane {

// Colours of report rows and paragraphs, laid out 0x00BBGGRR; kColourNone
// means uncoloured.
constexpr COLORREF kColourNone = 0xFFFFFFFF;
constexpr COLORREF kColourRed = 0x0000FF;
constexpr COLORREF kColourGreen = 0x008000;
constexpr COLORREF kColourMagenta = 0xFF00FF;
constexpr COLORREF kColourOrange = 0x0080FF;

// The string-table id of a status text ("Success", "Failed", ...).
UINT statusTextId(ItemStatus status) noexcept;

// The string-table id of a reason text, or of a refusal's message; 0 for
// kReasonNone.
UINT reasonTextId(ItemReason reason) noexcept;

// The colour of an outcome's report row.
COLORREF outcomeColour(const Outcome& outcome) noexcept;

} // namespace sorvane
