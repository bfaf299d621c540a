#include <gtest/gtest.h>

#include "FakeRuntime.h"
#include "system/Basic.h"
#include "system/ErrorHandling.h"

namespace cm {
namespace {

TEST(ToLong, RoundsHalfToEvenAndRejectsOutOfRange) {
    EXPECT_EQ(ToLong(4321.0), 4321);
    EXPECT_EQ(ToLong(2.5), 2);
    EXPECT_EQ(ToLong(3.5), 4);
    EXPECT_EQ(ToLong(-2.5), -2);
    EXPECT_EQ(ToLong(2147483647.0), 2147483647);
    EXPECT_EQ(ToLong(-2147483648.0), -2147483647 - 1);
    for (double bad : {2147483648.0, 4294967295.0, -2147483649.0, 1e300}) {
        try {
            ToLong(bad);
            ADD_FAILURE() << "no overflow for " << bad;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), kErrOverflow);
            EXPECT_EQ(e.Description(), L"Estouro");
        }
    }
}

TEST(VariantToText, NumbersAndText) {
    EXPECT_EQ(VariantToText(std::wstring(L" a ")), L" a ");
    EXPECT_EQ(VariantToText(std::int32_t{-42}), L"-42");
    EXPECT_EQ(VariantToText(12.5), L"12.5");
    EXPECT_EQ(VariantToText(3.0), L"3");
    EXPECT_EQ(VariantToText(Empty{}), L"");
    EXPECT_THROW(VariantToText(Null{}), RuntimeError);
    EXPECT_THROW(VariantToText(ObjectRef{}), RuntimeError);
}

TEST(StandardHandler, ShowsDescriptionWithoutTitleAndClears) {
    test::ScopedFakeRuntime fake;
    const bool completed = WithStandardHandler([] { throw RuntimeError(53, L"Arquivo não encontrado"); });
    EXPECT_FALSE(completed);
    ASSERT_EQ(fake.runtime.msgboxes.size(), 1u);
    EXPECT_EQ(fake.runtime.msgboxes[0].text, L"Arquivo não encontrado");
    EXPECT_EQ(fake.runtime.msgboxes[0].style, 0);
    EXPECT_FALSE(fake.runtime.msgboxes[0].title.has_value());

    EXPECT_TRUE(WithStandardHandler([] {}));
    EXPECT_EQ(fake.runtime.msgboxes.size(), 1u);
}

}  // namespace
}  // namespace cm
