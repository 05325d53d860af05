#include "testing/child_tests.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/errors/last_error.h"
#include "platform/process/environment.h"
#include "platform/process/module.h"
#include "platform/process/process.h"

namespace qv::testing {

void RunChildTestsAtOnce(const std::string& test, const std::string& variable,
                         const std::vector<std::string>& values) {
  std::vector<std::unique_ptr<platform::ChildProcess>> children;
  for (const std::string& value : values) {
    platform::SetEnvironmentVariable(variable, value);
    auto child = std::make_unique<platform::ChildProcess>();
    EXPECT_TRUE(child->Start(platform::GetModuleFileName(), {"--gtest_filter=" + test}))
        << value << ": " << platform::GetLastError();
    children.push_back(std::move(child));
  }
  platform::SetEnvironmentVariable(variable, std::nullopt);
  for (size_t i = 0; i < children.size(); ++i) {
    uint32_t exit_code = 99;
    EXPECT_TRUE(children[i]->Wait(&exit_code)) << values[i];
    EXPECT_EQ(exit_code, 0u) << values[i];
  }
}

}  // namespace qv::testing
