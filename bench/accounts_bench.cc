// The cost of the account checks one phone request makes: the owner SID's lookup and the network
// logon of the machine's own accounts (the password hash check dominates it).
#include <benchmark/benchmark.h>

#include "platform/accounts/accounts.h"
#include "platform/accounts/local_accounts.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"

namespace qv::platform {
namespace {

// A state directory of its own with one account, for the time of one benchmark.
class BenchAccount {
 public:
  BenchAccount() : directory_(CreateTemporaryDirectory("qvbench-")) {
    SetEnvironmentVariable("QUORVANE_STATE_DIR", directory_);
    NetUserAdd("bench", "Bench-Pass1");
    NetUserGetInfo("bench", &account_);
  }
  ~BenchAccount() {
    SetEnvironmentVariable("QUORVANE_STATE_DIR", std::nullopt);
    DeleteTree(directory_);
  }
  const Sid& UserSid() const { return account_.UserSid; }

 private:
  std::string directory_;
  LocalAccount account_;
};

void BM_LookupAccountSid(benchmark::State& state) {
  BenchAccount account;
  std::string name;
  std::string domain;
  for (auto _ : state) benchmark::DoNotOptimize(LookupAccountSid(account.UserSid(), &name, &domain));
}
BENCHMARK(BM_LookupAccountSid);

void BM_LogonUser(benchmark::State& state) {
  BenchAccount account;
  const std::string domain = GetAccountDomainName();
  const std::string password = state.range(0) != 0 ? "Bench-Pass1" : "Wrong-Pass1";
  for (auto _ : state) {
    std::unique_ptr<AccessToken> token;
    benchmark::DoNotOptimize(LogonUser("bench", domain, password, LogonType::kNetwork, &token));
  }
}
BENCHMARK(BM_LogonUser)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qv::platform
