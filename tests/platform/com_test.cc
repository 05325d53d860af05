#include "platform/com/com.h"

#include <gtest/gtest.h>

#include <thread>

namespace qv::platform {
namespace {

constexpr Guid kClass = MakeGuid(0x01234567, 0x89AB, 0xCDEF, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF);
constexpr Guid kInterface =
    MakeGuid(0x76543210, 0xBA98, 0xFEDC, 0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE);
constexpr Guid kOtherInterface = MakeGuid(0x76543211, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);

class Thing : public IUnknown {
 public:
  bool SupportsInterface(const Guid& iid) const override { return iid == kInterface; }
};

TEST(Com, IdentifiersReadAsTheyAreWritten) {
  EXPECT_EQ(GuidToString(kClass), "{01234567-89AB-CDEF-0123-456789ABCDEF}");
  // Data1 to Data3 lie in memory little-endian.
  EXPECT_EQ(kClass[0], 0x67);
  EXPECT_EQ(kClass[4], 0xAB);
  EXPECT_EQ(kClass[8], 0x01);
}

TEST(Com, CreationNeedsAnApartmentAndARegisteredClass) {
  std::shared_ptr<IUnknown> object;
  CoRegisterClass(kClass, [] { return std::make_shared<Thing>(); });
  EXPECT_EQ(CoCreateInstance(kClass, kInterface, &object), CO_E_NOTINITIALIZED);
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
  EXPECT_EQ(CoCreateInstance(kClass, kInterface, &object), S_OK);
  EXPECT_NE(object, nullptr);
  EXPECT_EQ(CoCreateInstance(kClass, kOtherInterface, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);

  // A thread that never entered an apartment joins the multithreaded one of the process.
  HRESULT from_other_thread = E_INVALIDARG;
  std::thread([&] {
    std::shared_ptr<IUnknown> mine;
    from_other_thread = CoCreateInstance(kClass, kInterface, &mine);
  }).join();
  EXPECT_EQ(from_other_thread, S_OK);

  CoRevokeClass(kClass);
  EXPECT_EQ(CoCreateInstance(kClass, kInterface, &object), REGDB_E_CLASSNOTREG);
  CoUninitialize();
  CoUninitialize();
  CoRegisterClass(kClass, [] { return std::make_shared<Thing>(); });
  EXPECT_EQ(CoCreateInstance(kClass, kInterface, &object), CO_E_NOTINITIALIZED);
}

TEST(Com, AThreadOfItsOwnApartmentCreatesWithoutTheProcess) {
  CoRegisterClass(kClass, [] { return std::make_shared<Thing>(); });
  HRESULT result = E_INVALIDARG;
  std::thread([&] {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::shared_ptr<IUnknown> mine;
    result = CoCreateInstance(kClass, kInterface, &mine);
    CoUninitialize();
  }).join();
  EXPECT_EQ(result, S_OK);
  std::shared_ptr<IUnknown> object;
  EXPECT_EQ(CoCreateInstance(kClass, kInterface, &object), CO_E_NOTINITIALIZED);
}

}  // namespace
}  // namespace qv::platform
