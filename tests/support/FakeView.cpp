#include "FakeView.h"

namespace cm::test {

FakeView::FakeView() {
    for (const auto& item : kLayout) {
        auto& c = (*this)[item.id];
        c.text = item.caption;
        c.enabled = item.enabled;
        c.visible = item.visible;
        c.fore_color = item.dark_blue_text ? kDarkBlue : 0;
    }
    (*this)[Control::cboDrive].text = L"c: [SISTEMA]";
}

}  // namespace cm::test
