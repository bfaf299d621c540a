// What the window's handlers and steps do to the controls. The native window
// implements it over real controls; tests keep the properties in memory.
#pragma once

#include <cstdint>
#include <string>

#include "app/Layout.h"

namespace cm {

class FormView {
public:
    virtual ~FormView() = default;

    // Caption of a label, button, check box or frame; the current text of a
    // combo box; the current drive's entry of the drive list (setting it
    // picks the entry that begins with the text, or none).
    virtual std::wstring Text(Control control) = 0;
    virtual void SetText(Control control, const std::wstring& text) = 0;

    // Empties a combo box's list and its text field; appends an item at the end.
    virtual void Clear(Control control) = 0;
    virtual void AddItem(Control control, const std::wstring& item) = 0;

    // Check-box value: 0 unticked, 1 ticked.
    virtual int Value(Control control) = 0;
    virtual void SetValue(Control control, int value) = 0;

    virtual bool Enabled(Control control) = 0;
    virtual void SetEnabled(Control control, bool enabled) = 0;
    virtual bool Visible(Control control) = 0;
    virtual void SetVisible(Control control, bool visible) = 0;

    // Text colour as 0x00BBGGRR.
    virtual std::uint32_t ForeColor(Control control) = 0;
    virtual void SetForeColor(Control control, std::uint32_t color) = 0;
};

}  // namespace cm
