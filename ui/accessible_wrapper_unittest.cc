#include "ui/accessible_wrapper.h"

#include <gtest/gtest.h>

#include "ui/ui_test_util.h"

namespace ostrel {
namespace {

VARIANT Self() {
  VARIANT self;
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  return self;
}

IAccessible* ClientObject(HWND window) {
  IAccessible* accessible = nullptr;
  ::AccessibleObjectFromWindow(window, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&accessible));
  return accessible;
}

TEST(AccessibleWrapperTest, OwnerDrawnControlsAnswerWithTheirNameAndRole) {
  testing::HostWindow host(200, 100);
  HWND close = host.AddControl(L"Button", L"", BS_OWNERDRAW, 213, {10, 10, 30, 30});
  HWND link = host.AddControl(L"Button", L"", BS_OWNERDRAW, 223, {40, 10, 140, 30});
  ScopedAccessibleWrapper close_wrapper(close, ROLE_SYSTEM_PUSHBUTTON, L"Close");
  ScopedAccessibleWrapper link_wrapper(link, ROLE_SYSTEM_LINK, L"License Agreement");

  IAccessible* accessible = ClientObject(close);
  ASSERT_NE(accessible, nullptr);
  BSTR name = nullptr;
  ASSERT_EQ(accessible->get_accName(Self(), &name), S_OK);
  EXPECT_STREQ(name, L"Close");
  ::SysFreeString(name);
  VARIANT role;
  ::VariantInit(&role);
  ASSERT_EQ(accessible->get_accRole(Self(), &role), S_OK);
  EXPECT_EQ(role.vt, VT_I4);
  EXPECT_EQ(role.lVal, ROLE_SYSTEM_PUSHBUTTON);
  EXPECT_EQ(accessible->get_accName(Self(), nullptr), E_INVALIDARG);
  accessible->Release();

  accessible = ClientObject(link);
  ASSERT_NE(accessible, nullptr);
  ASSERT_EQ(accessible->get_accRole(Self(), &role), S_OK);
  EXPECT_EQ(role.lVal, ROLE_SYSTEM_LINK);
  // Anything not stored comes from the standard object.
  long count = -1;
  EXPECT_EQ(accessible->get_accChildCount(&count), S_OK);
  accessible->Release();

  // A wrapper without name or role leaves the window's own answer.
  HWND plain = host.AddControl(L"Button", L"Plain", BS_PUSHBUTTON, 1, {10, 40, 90, 70});
  accessible = ClientObject(plain);
  ASSERT_NE(accessible, nullptr);
  VARIANT own_role;
  ::VariantInit(&own_role);
  ASSERT_EQ(accessible->get_accRole(Self(), &own_role), S_OK);
  accessible->Release();
  ScopedAccessibleWrapper plain_wrapper(plain, 0, L"");
  accessible = ClientObject(plain);
  ASSERT_NE(accessible, nullptr);
  ASSERT_EQ(accessible->get_accRole(Self(), &role), S_OK);
  EXPECT_EQ(role.lVal, own_role.lVal);
  accessible->Release();
}

}  // namespace
}  // namespace ostrel
