#include "FakeView.h"

namespace cm::test {

FakeView::FakeView() {
    for (const auto& spec : kLayout) {
        auto& c = (*this)[spec.id];
        c.text = spec.caption;
        c.enabled = spec.enabled;
        c.visible = spec.visible;
        c.fore_color = spec.dark_blue_text ? kDarkBlue : 0;
    }
    (*this)[Control::cboDrive].text = L"c: [SISTEMA]";
}

}  // namespace cm::test
