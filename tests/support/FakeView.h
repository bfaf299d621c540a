// The window's controls as in-memory properties, starting as the layout says.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/FormView.h"

namespace cm::test {

struct FakeControl {
    std::wstring text;
    std::vector<std::wstring> items;
    int value = 0;
    bool enabled = true;
    bool visible = true;
    std::uint32_t fore_color = 0;
};

class FakeView : public FormView {
public:
    FakeView();

    FakeControl& operator[](Control c) { return controls_[static_cast<std::size_t>(c)]; }

    std::wstring Text(Control c) override { return (*this)[c].text; }
    void SetText(Control c, const std::wstring& text) override { (*this)[c].text = text; }
    void Clear(Control c) override {
        (*this)[c].items.clear();
        (*this)[c].text.clear();
    }
    void AddItem(Control c, const std::wstring& item) override { (*this)[c].items.push_back(item); }
    int Value(Control c) override { return (*this)[c].value; }
    void SetValue(Control c, int value) override { (*this)[c].value = value; }
    bool Enabled(Control c) override { return (*this)[c].enabled; }
    void SetEnabled(Control c, bool enabled) override { (*this)[c].enabled = enabled; }
    bool Visible(Control c) override { return (*this)[c].visible; }
    void SetVisible(Control c, bool visible) override { (*this)[c].visible = visible; }
    std::uint32_t ForeColor(Control c) override { return (*this)[c].fore_color; }
    void SetForeColor(Control c, std::uint32_t color) override { (*this)[c].fore_color = color; }

private:
    std::array<FakeControl, kControlCount> controls_;
};

}  // namespace cm::test
