// The owner of Win32 handles: it closes what it holds exactly once, hands the handle on when moved or
// released, and keeps the thread's last error while it closes.
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "platform/os/unique_handle_win32.h"
#include "platform/os/windows_api_win32.h"

namespace qv::platform::win32 {
namespace {

// Counts what it is asked to close instead of closing it.
std::map<HANDLE, int> closed;
struct CountingCloser {
  void operator()(HANDLE handle) const { ++closed[handle]; }
};
using CountedHandle = UniqueHandleOf<CountingCloser>;

HANDLE Fake(uintptr_t value) {
  return reinterpret_cast<HANDLE>(value);
}

bool IsOpenHandle(HANDLE handle) {
  DWORD flags = 0;
  return ::GetHandleInformation(handle, &flags) != 0;
}

TEST(UniqueHandle, ClosesWhatItHoldsOnceWhereverItIsMoved) {
  closed.clear();
  {
    CountedHandle first(Fake(0x100));
    CountedHandle second(std::move(first));
    EXPECT_EQ(first.get(), nullptr);
    EXPECT_FALSE(first);
    CountedHandle third;
    third = std::move(second);
    EXPECT_EQ(third.get(), Fake(0x100));
    EXPECT_TRUE(closed.empty());

    third = CountedHandle(Fake(0x200));  // the one held so far goes
    EXPECT_EQ(closed[Fake(0x100)], 1);
    *third.receive() = Fake(0x300);
    EXPECT_EQ(closed[Fake(0x200)], 1);
    EXPECT_EQ(third.get(), Fake(0x300));

    CountedHandle kept(Fake(0x400));
    EXPECT_EQ(kept.release(), Fake(0x400));
  }
  EXPECT_EQ(closed[Fake(0x300)], 1);
  EXPECT_EQ(closed.count(Fake(0x400)), 0u);  // released: the caller's now
  EXPECT_EQ(closed.size(), 3u);
}

TEST(UniqueHandle, NeitherNullNorTheInvalidValueIsClosed) {
  closed.clear();
  {
    const CountedHandle none;
    const CountedHandle failed_open(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(none);
    EXPECT_FALSE(failed_open);
    EXPECT_EQ(failed_open.get(), INVALID_HANDLE_VALUE);
  }
  EXPECT_TRUE(closed.empty());
}

TEST(UniqueHandle, ClosesKernelObjectsAndKeepsTheLastError) {
  HANDLE raw = nullptr;
  {
    UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    raw = event.get();
    EXPECT_TRUE(IsOpenHandle(raw));
    ::SetLastError(ERROR_SHARING_VIOLATION);
  }
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(IsOpenHandle(raw));
}

}  // namespace
}  // namespace qv::platform::win32
