// The machine's own accounts in the account database of the state directory (relative identifiers, the
// machine SID, hashes, the file's privacy, the domain's spellings). Every logon and name lookup here names
// the machine's domain, so the system's accounts are never asked (those are tested under nss_wrapper and
// pam_wrapper).
#include <gtest/gtest.h>

#include <thread>

#include "platform/accounts/accounts.h"
#include "platform/accounts/local_accounts.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/sqlite/sqlite_database.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

class AccountDatabase : public ::testing::Test {
 protected:
  std::string Domain() const { return GetAccountDomainName(); }

  uint32_t LogonError(const std::string& user, const std::string& password) {
    std::unique_ptr<AccessToken> token;
    SetLastError(ERROR_SUCCESS);
    if (LogonUser(user, Domain(), password, LogonType::kNetwork, &token)) {
      EXPECT_NE(token, nullptr);
      return ERROR_SUCCESS;
    }
    EXPECT_EQ(token, nullptr);
    return GetLastError();
  }

  static uint32_t Rid(const Sid& sid) {
    uint64_t authority = 0;
    std::vector<uint32_t> parts;
    EXPECT_TRUE(GetSidParts(sid, &authority, &parts));
    return parts.empty() ? 0 : parts.back();
  }

  LocalAccount Info(const std::string& name) {
    LocalAccount account;
    EXPECT_TRUE(NetUserGetInfo(name, &account)) << name;
    return account;
  }

  qv::testing::TestStateDir dir_;
};

TEST_F(AccountDatabase, AnAccountLogsOnWithItsPasswordUntilItIsDeleted) {
  ASSERT_TRUE(NetUserAdd("Alice", "Correct-Horse7"));
  const LocalAccount alice = Info("alice");
  EXPECT_EQ(alice.Name, "Alice");
  EXPECT_FALSE(alice.Disabled);
  uint64_t authority = 0;
  std::vector<uint32_t> parts;
  ASSERT_TRUE(GetSidParts(alice.UserSid, &authority, &parts));
  EXPECT_EQ(authority, 5u);
  ASSERT_EQ(parts.size(), 5u);
  EXPECT_EQ(parts[0], 21u);
  EXPECT_EQ(parts[4], 1000u);

  std::unique_ptr<AccessToken> token;
  ASSERT_TRUE(LogonUser("alice", Domain(), "Correct-Horse7", LogonType::kNetwork, &token));
  EXPECT_EQ(token->UserName(), "Alice");
  EXPECT_EQ(token->Domain(), Domain());
  EXPECT_EQ(token->UserSid(), alice.UserSid);
  ASSERT_TRUE(LogonUser("ALICE", ".", "Correct-Horse7", LogonType::kInteractive, &token));
  EXPECT_EQ(token->UserName(), "Alice");

  // Passwords compare exactly.
  EXPECT_EQ(LogonError("alice", "correct-horse7"), ERROR_LOGON_FAILURE);
  EXPECT_EQ(LogonError("alice", "Correct-Horse"), ERROR_LOGON_FAILURE);
  EXPECT_EQ(LogonError("alice", ""), ERROR_LOGON_FAILURE);
  // A C interface would see only "Correct-Horse7" here.
  EXPECT_EQ(LogonError("alice", std::string("Correct-Horse7\0more", 19)), ERROR_LOGON_FAILURE);
  EXPECT_EQ(LogonError(std::string("alice\0x", 7), "Correct-Horse7"), ERROR_LOGON_FAILURE);
  EXPECT_EQ(LogonError("", "Correct-Horse7"), ERROR_LOGON_FAILURE);
  std::unique_ptr<AccessToken> elsewhere;
  EXPECT_FALSE(LogonUser("alice", "ELSEWHERE", "Correct-Horse7", LogonType::kNetwork, &elsewhere));
  EXPECT_EQ(GetLastError(), ERROR_LOGON_FAILURE);

  ASSERT_TRUE(NetUserDel("ALICE"));
  EXPECT_EQ(LogonError("alice", "Correct-Horse7"), ERROR_LOGON_FAILURE);
  std::string name;
  std::string domain;
  EXPECT_FALSE(LookupAccountSid(alice.UserSid, &name, &domain));
  EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
  EXPECT_FALSE(NetUserDel("alice"));
  EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_USER);
}

TEST_F(AccountDatabase, MailboxOwnerResolvesThroughItsSidAndLogsOn) {
  ASSERT_TRUE(NetUserAdd("owner", "Owner-Pass1"));
  const Sid owner = Info("owner").UserSid;
  std::string name;
  std::string domain;
  SidNameUse use = SidNameUse::kUnknown;
  ASSERT_TRUE(LookupAccountSid(owner, &name, &domain, &use));
  EXPECT_EQ(name, "owner");
  EXPECT_EQ(domain, Domain());
  EXPECT_EQ(use, SidNameUse::kUser);
  std::unique_ptr<AccessToken> token;
  EXPECT_TRUE(LogonUser(name, domain, "Owner-Pass1", LogonType::kNetwork, &token));
  EXPECT_FALSE(LogonUser(name, domain, "Owner-Pass2", LogonType::kNetwork, &token));
  EXPECT_EQ(GetLastError(), ERROR_LOGON_FAILURE);

  // The name resolves back to the same SID in every spelling of the domain.
  for (const std::string& account : {std::string("owner"), std::string(".\\OWNER"), Domain() + "\\Owner"}) {
    Sid sid;
    ASSERT_TRUE(LookupAccountName(account, &sid, &domain, &use)) << account;
    EXPECT_EQ(sid, owner) << account;
    EXPECT_EQ(domain, Domain());
  }
  std::string lower_domain = Domain();
  for (char& c : lower_domain) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  Sid sid;
  ASSERT_TRUE(LookupAccountName(lower_domain + "\\owner", &sid, &domain));
  EXPECT_EQ(sid, owner);
  EXPECT_FALSE(LookupAccountName("ELSEWHERE\\owner", &sid, &domain));
  EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
  EXPECT_FALSE(LookupAccountName(Domain() + "\\nobody", &sid, &domain));
  EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);

  // The machine's own SID (the owner's without its RID) names the domain.
  uint64_t authority = 0;
  std::vector<uint32_t> parts;
  ASSERT_TRUE(GetSidParts(owner, &authority, &parts));
  parts.pop_back();
  ASSERT_TRUE(LookupAccountSid(MakeSid(authority, parts), &name, &domain, &use));
  EXPECT_EQ(name, Domain());
  EXPECT_EQ(use, SidNameUse::kDomain);
  // Another machine's account with the same RID is unknown here.
  parts[1] ^= 1;
  parts.push_back(1000);
  EXPECT_FALSE(LookupAccountSid(MakeSid(authority, parts), &name, &domain));
  EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
}

TEST_F(AccountDatabase, NamesCompareWithoutCaseAndKeepTheirSpelling) {
  ASSERT_TRUE(NetUserAdd("MixedCase", "Pass-Word1"));
  for (const char* taken : {"mixedcase", "MIXEDCASE", "MixedCase"}) {
    EXPECT_FALSE(NetUserAdd(taken, "Other-Pass1")) << taken;
    EXPECT_EQ(GetLastError(), ERROR_USER_EXISTS) << taken;
  }
  std::vector<LocalAccount> accounts;
  ASSERT_TRUE(NetUserEnum(&accounts));
  ASSERT_EQ(accounts.size(), 1u);
  EXPECT_EQ(accounts[0].Name, "MixedCase");
  EXPECT_EQ(LogonError("mIXEDcASE", "Pass-Word1"), ERROR_SUCCESS);

  for (const char* name : {"12345678901234567890", "x", "first.last", "with space", "o'brien", "caf\xE9"})
    EXPECT_TRUE(NetUserAdd(name, "Pass-Word1")) << name;
}

TEST_F(AccountDatabase, PasswordsOfUpTo256CharactersAreTakenWhole) {
  EXPECT_FALSE(NetUserAdd("bob", std::string(257, 'p')));
  std::vector<LocalAccount> accounts;
  ASSERT_TRUE(NetUserEnum(&accounts));
  EXPECT_TRUE(accounts.empty());

  const std::string longest(256, 'p');
  ASSERT_TRUE(NetUserAdd("bob", longest));
  EXPECT_EQ(LogonError("bob", longest), ERROR_SUCCESS);
  EXPECT_EQ(LogonError("bob", longest + "p"), ERROR_LOGON_FAILURE);
  EXPECT_EQ(LogonError("bob", std::string(255, 'p')), ERROR_LOGON_FAILURE);
}

TEST_F(AccountDatabase, ANewPasswordReplacesTheOld) {
  ASSERT_TRUE(NetUserAdd("carl", "First-Pass1"));
  ASSERT_TRUE(NetUserSetPassword("CARL", "Second-Pass2"));
  EXPECT_EQ(LogonError("carl", "First-Pass1"), ERROR_LOGON_FAILURE);
  EXPECT_EQ(LogonError("carl", "Second-Pass2"), ERROR_SUCCESS);
  EXPECT_FALSE(NetUserSetPassword("carl", ""));
  EXPECT_EQ(GetLastError(), ERROR_PASSWORD_RESTRICTION);
  EXPECT_EQ(LogonError("carl", "Second-Pass2"), ERROR_SUCCESS);
  EXPECT_FALSE(NetUserSetPassword("nobody", "Any-Pass1"));
  EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_USER);
}

TEST_F(AccountDatabase, ADisabledAccountResolvesButCannotLogOn) {
  ASSERT_TRUE(NetUserAdd("dora", "Dora-Pass1"));
  ASSERT_TRUE(NetUserSetDisabled("DORA", true));
  EXPECT_TRUE(Info("dora").Disabled);
  std::string name;
  std::string domain;
  EXPECT_TRUE(LookupAccountSid(Info("dora").UserSid, &name, &domain));
  // Only who knows the password learns that the account is disabled.
  EXPECT_EQ(LogonError("dora", "Dora-Pass1"), ERROR_ACCOUNT_DISABLED);
  EXPECT_EQ(LogonError("dora", "Wrong-Pass1"), ERROR_LOGON_FAILURE);
  ASSERT_TRUE(NetUserSetDisabled("dora", false));
  EXPECT_EQ(LogonError("dora", "Dora-Pass1"), ERROR_SUCCESS);
  EXPECT_FALSE(NetUserSetDisabled("nobody", true));
  EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_USER);
}

TEST_F(AccountDatabase, RidsCountFrom1000AndAreNeverGivenOutTwice) {
  ASSERT_TRUE(NetUserAdd("first", "Pass-Word1"));
  ASSERT_TRUE(NetUserAdd("second", "Pass-Word1"));
  const Sid second = Info("second").UserSid;
  EXPECT_EQ(Rid(Info("first").UserSid), 1000u);
  EXPECT_EQ(Rid(second), 1001u);
  ASSERT_TRUE(NetUserDel("second"));
  ASSERT_TRUE(NetUserAdd("second", "Pass-Word1"));
  // A mailbox still owned by the deleted account must not fall to the new one.
  EXPECT_EQ(Rid(Info("second").UserSid), 1002u);
  std::string name;
  std::string domain;
  EXPECT_FALSE(LookupAccountSid(second, &name, &domain));
  // Every account shares the one machine SID.
  const Sid first = Info("first").UserSid;
  EXPECT_EQ(first.substr(0, first.size() - 4), second.substr(0, second.size() - 4));

  std::vector<LocalAccount> accounts;
  ASSERT_TRUE(NetUserEnum(&accounts));
  ASSERT_EQ(accounts.size(), 2u);
  EXPECT_EQ(accounts[0].Name, "first");
  EXPECT_EQ(accounts[1].Name, "second");
}

TEST_F(AccountDatabase, EachDatabaseMakesItsOwnMachineSid) {
  ASSERT_TRUE(NetUserAdd("one", "Pass-Word1"));
  const Sid here = Info("one").UserSid;
  Sid there;
  {
    qv::testing::TestStateDir other;
    ASSERT_TRUE(NetUserAdd("one", "Pass-Word1"));
    there = Info("one").UserSid;
  }
  EXPECT_NE(here, there);
  EXPECT_EQ(Rid(here), Rid(there));
}

TEST_F(AccountDatabase, TheDatabaseKeepsOnlySaltedHashesAndOnlyForItsOwner) {
  ASSERT_TRUE(NetUserAdd("hana", "Same-Pass1"));
  ASSERT_TRUE(NetUserAdd("ivan", "Same-Pass1"));
  const std::string path = dir_.File("accounts.db");
  EXPECT_TRUE(IsOwnerOnlyFile(path));
  SqliteDatabase database(path, SqliteDatabase::Mode::kReadOnly);
  auto query = database.Prepare("SELECT password_hash FROM accounts ORDER BY name");
  std::vector<std::string> hashes;
  while (query.Step()) hashes.push_back(query.ColumnText(0));
  ASSERT_EQ(hashes.size(), 2u);
  EXPECT_NE(hashes[0], hashes[1]);
  for (const auto& hash : hashes) {
    EXPECT_EQ(hash.rfind('$', 0), 0u) << hash;  // a crypt method prefix
    EXPECT_EQ(hash.find("Same-Pass1"), std::string::npos);
  }
}

TEST_F(AccountDatabase, AnExistingFileThatOthersMayReadIsMadePrivate) {
  const std::string path = dir_.File("accounts.db");
  ASSERT_TRUE(WriteWholeFile(path, "", false));
  ASSERT_FALSE(IsOwnerOnlyFile(path));
  ASSERT_TRUE(NetUserAdd("june", "June-Pass1"));
  EXPECT_TRUE(IsOwnerOnlyFile(path));
}

TEST_F(AccountDatabase, WithoutADatabaseNothingIsFoundAndNothingIsMade) {
  std::vector<LocalAccount> accounts;
  ASSERT_TRUE(NetUserEnum(&accounts));
  EXPECT_TRUE(accounts.empty());
  std::string name;
  std::string domain;
  Sid sid;
  ASSERT_TRUE(TextToSid("S-1-5-21-1-2-3-1000", &sid));
  EXPECT_FALSE(LookupAccountSid(sid, &name, &domain));
  EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
  EXPECT_FALSE(LookupAccountName(Domain() + "\\kim", &sid, &domain));
  EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
  EXPECT_EQ(LogonError("kim", "Kim-Pass1"), ERROR_LOGON_FAILURE);
  EXPECT_FALSE(NetUserDel("kim"));
  EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_USER);
  EXPECT_FALSE(NetUserSetPassword("kim", "Kim-Pass1"));
  EXPECT_FALSE(NetUserSetDisabled("kim", true));
  LocalAccount account;
  EXPECT_FALSE(NetUserGetInfo("kim", &account));
  EXPECT_FALSE(FileExists(dir_.File("accounts.db")));
}

TEST_F(AccountDatabase, LogonsRunSideBySide) {
  ASSERT_TRUE(NetUserAdd("lena", "Lena-Pass1"));
  ASSERT_TRUE(NetUserAdd("mats", "Mats-Pass1"));
  const std::string domain = Domain();
  constexpr int kThreads = 4;
  std::vector<int> results(kThreads, -1);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      const bool even = i % 2 == 0;
      std::unique_ptr<AccessToken> token;
      const bool right = LogonUser(even ? "lena" : "mats", domain, even ? "Lena-Pass1" : "Mats-Pass1",
                                   LogonType::kNetwork, &token);
      const bool wrong =
          LogonUser(even ? "lena" : "mats", domain, "Nobodys-Pass", LogonType::kNetwork, &token);
      results[i] = right && !wrong && GetLastError() == ERROR_LOGON_FAILURE ? 1 : 0;
    });
  }
  for (auto& thread : threads) thread.join();
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(results[i], 1) << "thread " << i;
}

TEST(AccountDomain, IsTheComputerNamesUpperCaseFirstLabel) {
  const std::string domain = GetAccountDomainName();
  EXPECT_FALSE(domain.empty());
  EXPECT_LE(domain.size(), 15u);
  EXPECT_EQ(domain.find('.'), std::string::npos);
  for (const char c : domain) EXPECT_FALSE(c >= 'a' && c <= 'z') << domain;
}

}  // namespace
}  // namespace qv::platform
