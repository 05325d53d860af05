#include <gtest/gtest.h>

#include <sstream>

#include "config/settings_snapshot.h"
#include "platform/files/file_attributes.h"
#include "platform/files/file_system.h"
#include "platform/registry/registry.h"
#include "testing/platform_checks.h"
#include "testing/test_state_dir.h"
#include "tools/qvanctl.h"

namespace qv::tools {
namespace {

struct ToolRun {
  int exit_code = 0;
  std::string out;
  std::string err;
};

// What "reg query" shows for a key with these value lines ("    Name    TYPE    data"), set in this
// order, followed by the tail (its sub-keys).
std::string QueryAnswer(const std::string& key, const std::vector<std::string>& value_lines,
                        const std::string& tail = "\n") {
  std::string answer = "\n" + key + "\n";
  for (const std::string& line : qv::testing::InRegistryListingOrder(value_lines)) answer += line + "\n";
  return answer + tail;
}

class RegCommandTest : public ::testing::Test {
 protected:
  // Runs "qvanctl reg ..." in this process; `input` answers its questions.
  static ToolRun Reg(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), "reg");
    std::istringstream in(input);
    std::ostringstream out, err;
    ToolStreams io{in, out, err};
    ToolRun run;
    run.exit_code = RunQvanctl(args, io);
    run.out = out.str();
    run.err = err.str();
    return run;
  }

  // Expects a refusal: the exit code and one line naming what was expected.
  static void ExpectRefused(const std::vector<std::string>& args, int exit_code, const std::string& part) {
    const ToolRun run = Reg(args);
    EXPECT_EQ(run.exit_code, exit_code) << run.err;
    EXPECT_EQ(run.err.rfind("qvanctl reg: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(part), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  }

  qv::testing::TestStateDir state_;
};

TEST_F(RegCommandTest, TheFirstSnapshotLeavesExactlyFourSettings) {
  { const TWCConfig config; }
  const ToolRun run = Reg({"query", "HKLM\\Software\\HOLLBERG\\Qvan"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out,
            QueryAnswer("HKEY_LOCAL_MACHINE\\Software\\HOLLBERG\\Qvan",
                        {"    Port    REG_DWORD    0x50 (80)", "    DeckHeader    REG_SZ    Quorvane",
                         "    LogFile    REG_SZ    " + TWCRegistry::DefaultLogFile(),
                         "    logging    REG_DWORD    0x1 (1)"}));
}

TEST_F(RegCommandTest, ChecksValuesUnderTheServicesKeyAgainstItsSettings) {
  const std::string key = "HKLM\\Software\\HOLLBERG\\Qvan";
  // A setting of the wrong type is refused, naming the type, and nothing is stored.
  ExpectRefused({"add", key, "/v", "TraceDetailness", "/d", "2", "/f"}, 1,
                "TraceDetailness is a REG_DWORD setting: add it with /t REG_DWORD");
  EXPECT_EQ(Reg({"query", key, "/v", "TraceDetailness"}).exit_code, 1);
  ExpectRefused({"add", "hklm\\software\\hollberg\\qvan", "/v", "port", "/t", "REG_SZ", "/d", "8080"}, 1,
                "Port is a REG_DWORD setting");
  ExpectRefused({"add", key, "/v", "DeckHeader", "/t", "REG_EXPAND_SZ", "/d", "x"}, 1,
                "DeckHeader is a REG_SZ setting: add it with /t REG_SZ");

  // A name that is no setting, or a number out of range, is stored with a warning.
  ToolRun run = Reg({"add", key, "/v", "Prot", "/t", "REG_DWORD", "/d", "8080"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "qvanctl reg: warning: \"Prot\" is no setting of the service (Port was meant?)\n");
  run = Reg({"add", key, "/v", "Port", "/t", "REG_DWORD", "/d", "0", "/f"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "qvanctl reg: warning: Port is 0, outside 1 to 65535\n");
  run = Reg({"add", key, "/v", "TraceDetailness", "/t", "REG_DWORD", "/d", "2", "/f"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Reg({"add", key, "/v", "CharSet", "/t", "REG_EXPAND_SZ", "/d", "utf-8"}).err, "");

  // Elsewhere a value is a value.
  EXPECT_EQ(Reg({"add", "HKLM\\Software\\Other", "/v", "Port", "/d", "x"}).err, "");
}

TEST_F(RegCommandTest, AddsAndShowsEveryType) {
  const std::string key = "HKCU\\Software\\Types";
  EXPECT_EQ(Reg({"add", key, "/v", "Text", "/d", "two words"}).exit_code, 0);
  EXPECT_EQ(Reg({"add", key, "/v", "Expand", "/t", "reg_expand_sz", "/d", "%TEMP%\\x"}).exit_code, 0);
  EXPECT_EQ(Reg({"add", key, "/v", "Multi", "/t", "REG_MULTI_SZ", "/d", "a\\0b\\0c"}).exit_code, 0);
  EXPECT_EQ(Reg({"add", key, "/v", "Comma", "/t", "REG_MULTI_SZ", "/s", ",", "/d", "x,y"}).exit_code, 0);
  EXPECT_EQ(Reg({"add", key, "/v", "Number", "/t", "REG_DWORD", "/d", "4294967295"}).exit_code, 0);
  EXPECT_EQ(Reg({"add", key, "/v", "Hex", "/t", "REG_DWORD", "/d", "0x1F90"}).exit_code, 0);
  EXPECT_EQ(Reg({"add", key, "/ve", "/t", "REG_BINARY", "/d", "0aFF10"}).exit_code, 0);
  Reg({"add", key + "\\Child"});
  const ToolRun run = Reg({"query", key});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out,
            QueryAnswer("HKEY_CURRENT_USER\\Software\\Types",
                        {"    Text    REG_SZ    two words", "    Expand    REG_EXPAND_SZ    %TEMP%\\x",
                         "    Multi    REG_MULTI_SZ    a\\0b\\0c", "    Comma    REG_MULTI_SZ    x\\0y",
                         "    Number    REG_DWORD    0xffffffff (4294967295)",
                         "    Hex    REG_DWORD    0x1f90 (8080)", "    (Default)    REG_BINARY    0AFF10"},
                        "\nHKEY_CURRENT_USER\\Software\\Types\\Child\n\n"));

  platform::RegKey opened;
  ASSERT_EQ(platform::RegOpenKeyEx(platform::HKEY_CURRENT_USER, "software\\types", 0, platform::KEY_READ,
                                   opened.Receive()),
            platform::ERROR_SUCCESS);
  uint32_t type = 0;
  std::string data;
  ASSERT_EQ(platform::RegQueryValueEx(opened.Get(), "Multi", &type, &data), platform::ERROR_SUCCESS);
  EXPECT_EQ(data, std::string("a\0b\0c\0\0", 7));
  ASSERT_EQ(platform::RegQueryValueEx(opened.Get(), "Hex", &type, &data), platform::ERROR_SUCCESS);
  EXPECT_EQ(data, std::string("\x90\x1F\0\0", 4));

  const ToolRun one = Reg({"query", key, "/v", "hex"});
  EXPECT_EQ(one.out, "\nHKEY_CURRENT_USER\\Software\\Types\n    hex    REG_DWORD    0x1f90 (8080)\n\n");
}

TEST_F(RegCommandTest, AsksBeforeChangingOrDeleting) {
  const std::string key = "HKLM\\Software\\Ask";
  Reg({"add", key, "/v", "V", "/d", "first"});
  ToolRun run = Reg({"add", key, "/v", "v", "/d", "second"}, "no\n");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.out.find("Value v exists, overwrite (Yes/No)?"), std::string::npos);
  EXPECT_NE(Reg({"query", key, "/v", "V"}).out.find("first"), std::string::npos);
  EXPECT_EQ(Reg({"add", key, "/v", "V", "/d", "second"}, "").exit_code, 1);  // no answer is no
  EXPECT_EQ(Reg({"add", key, "/v", "V", "/d", "second"}, "Yes\n").exit_code, 0);
  EXPECT_NE(Reg({"query", key, "/v", "V"}).out.find("second"), std::string::npos);
  EXPECT_EQ(Reg({"add", key, "-V", "V", "-D", "third", "-F"}).exit_code, 0);
  EXPECT_NE(Reg({"query", key, "/v", "V"}).out.find("third"), std::string::npos);

  EXPECT_EQ(Reg({"delete", key}, "n\n").exit_code, 1);
  EXPECT_EQ(Reg({"query", key}).exit_code, 0);
}

TEST_F(RegCommandTest, DeletesValuesAndWholeTrees) {
  Reg({"add", "HKLM\\Software\\Tree\\A\\Deep", "/v", "X", "/d", "x"});
  Reg({"add", "HKLM\\Software\\Tree", "/v", "One", "/d", "1"});
  Reg({"add", "HKLM\\Software\\Tree", "/v", "Two", "/d", "2"});
  Reg({"add", "HKLM\\Software\\Tree", "/ve", "/d", "d"});
  Reg({"add", "HKLM\\Software\\Kept"});

  EXPECT_EQ(Reg({"delete", "HKLM\\Software\\Tree", "/v", "one", "/f"}).exit_code, 0);
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\Tree", "/v", "One"}).exit_code, 1);
  EXPECT_EQ(Reg({"delete", "HKLM\\Software\\Tree", "/ve", "/f"}).exit_code, 0);
  EXPECT_EQ(Reg({"delete", "HKLM\\Software\\Tree", "/va", "/f"}).exit_code, 0);
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\Tree"}).out,
            "\nHKEY_LOCAL_MACHINE\\Software\\Tree\n\nHKEY_LOCAL_MACHINE\\Software\\Tree\\A\n\n");

  EXPECT_EQ(Reg({"delete", "HKLM\\Software\\TREE", "/f"}).exit_code, 0);
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\Tree\\A\\Deep"}).exit_code, 1);
  EXPECT_EQ(Reg({"query", "HKLM\\Software"}).out,
            "\nHKEY_LOCAL_MACHINE\\Software\n\nHKEY_LOCAL_MACHINE\\Software\\Kept\n\n");
  ExpectRefused({"delete", "HKLM\\Software\\Tree", "/f"}, 1, "unable to find the specified registry key");
  ExpectRefused({"delete", "HKLM", "/f"}, 2, "a root key cannot be deleted");
}

TEST_F(RegCommandTest, RefusesWhatItCannotUseSayingWhatWasExpected) {
  ExpectRefused({"query", "HKXX\\Software"}, 2, "expected HKLM, HKCU, HKCR, HKU or HKCC");
  ExpectRefused({"query", "\\\\server\\HKLM\\Software"}, 2, "other machines");
  ExpectRefused({"query", "HKLM\\a\\\\b"}, 2, "empty");
  ExpectRefused({"add", "HKLM\\A", "/v", "X", "/t", "REG_QWORD", "/d", "1"}, 2,
                "expected REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD or REG_BINARY");
  ExpectRefused({"add", "HKLM\\A", "/v", "X", "/t", "REG_DWORD", "/d", "eighty"}, 2,
                "REG_DWORD data must be a number from 0 to 4294967295");
  ExpectRefused({"add", "HKLM\\A", "/v", "X", "/t", "REG_DWORD", "/d", "4294967296"}, 2, "REG_DWORD data");
  ExpectRefused({"add", "HKLM\\A", "/v", "X", "/t", "REG_DWORD", "/d", "-1"}, 2, "REG_DWORD data");
  ExpectRefused({"add", "HKLM\\A", "/v", "X", "/t", "REG_DWORD"}, 2, "REG_DWORD data");
  ExpectRefused({"add", "HKLM\\A", "/v", "X", "/t", "REG_BINARY", "/d", "ABC"}, 2,
                "pairs of hexadecimal digits");
  ExpectRefused({"add", "HKLM\\A", "/v", "X", "/t", "REG_BINARY", "/d", "0G"}, 2,
                "pairs of hexadecimal digits");
  ExpectRefused({"add", "HKLM\\A", "/v", "X", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"}, 2, "empty strings");
  ExpectRefused({"add", "HKLM\\A", "/d", "x"}, 2, "need a value");
  ExpectRefused({"add", "HKLM\\A", "/v"}, 2, "/v needs a value");
  ExpectRefused({"add", "HKLM\\A", "/v", "X", "/v", "Y"}, 2, "given twice");
  ExpectRefused({"add", "HKLM\\A", "/v", "X", "/ve"}, 2, "either /v NAME or /ve");
  ExpectRefused({"query"}, 2, "expected query KEY");
  ExpectRefused({"frobnicate", "HKLM"}, 2, "expected query, add, delete, export or import");
  ExpectRefused({"query", "HKLM\\Software\\Nothing"}, 1,
                "unable to find the specified registry key or value");
  EXPECT_EQ(Reg({"query", "HKLM\\Nothing"}).out, "");
}

TEST_F(RegCommandTest, HelpDescribesEveryOperation) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"query", "--help"}}) {
    const ToolRun run = Reg(args);
    EXPECT_EQ(run.exit_code, 0);
    for (const char* shape : {"query KEY", "add KEY", "delete KEY", "export KEY FILE", "import FILE"})
      EXPECT_NE(run.out.find(shape), std::string::npos) << shape;
  }
  EXPECT_EQ(Reg({}).exit_code, 2);
}

TEST_F(RegCommandTest, ExportAndImportGiveBackTheSameTree) {
  Reg({"add", "HKLM\\Software\\Round\\Sub", "/v", "Multi", "/t", "REG_MULTI_SZ", "/d", "a\\0b"});
  Reg({"add", "HKLM\\Software\\Round", "/v", "Quote\"d", "/d", "C:\\dir \"x\""});
  Reg({"add", "HKLM\\Software\\Round", "/v", "Port", "/t", "REG_DWORD", "/d", "80"});
  Reg({"add", "HKLM\\Software\\Round", "/ve", "/t", "REG_BINARY", "/d", std::string(200, 'a')});
  Reg({"add", "HKLM\\Software\\Round\\Empty"});
  const std::string file = state_.File("round.reg");
  ASSERT_EQ(Reg({"export", "HKLM\\Software\\Round", file}).exit_code, 0);
  const std::string before = Reg({"query", "HKLM\\Software\\Round", "/s"}).out;

  // An existing file is replaced only when allowed.
  EXPECT_EQ(Reg({"export", "HKLM\\Software\\Round", file}, "no\n").exit_code, 1);
  EXPECT_EQ(Reg({"export", "HKLM\\Software\\Round", file, "/y"}).exit_code, 0);

  ASSERT_EQ(Reg({"delete", "HKLM\\Software\\Round", "/f"}).exit_code, 0);
  const ToolRun imported = Reg({"import", file});
  ASSERT_EQ(imported.exit_code, 0) << imported.err;
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\Round", "/s"}).out, before);
  std::string text;
  ASSERT_TRUE(platform::ReadWholeFile(file, &text));
  EXPECT_EQ(Reg({"export", "HKLM\\Software\\Round", "-"}).out, text);
}

TEST_F(RegCommandTest, ImportDeletesAndChangesNothingOnAnError) {
  Reg({"add", "HKLM\\Software\\Old", "/v", "Gone", "/d", "x"});
  Reg({"add", "HKLM\\Software\\Old", "/v", "Stays", "/d", "y"});
  Reg({"add", "HKLM\\Software\\Doomed\\Child"});
  const std::string file = state_.File("changes.reg");
  ASSERT_TRUE(platform::WriteWholeFile(file,
                                       "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Old]\r\n\"Gone\"=-\r\n"
                                       "\"New\"=dword:00000007\r\n\r\n[-HKLM\\Software\\Doomed]\r\n"
                                       "[-HKLM\\Software\\NeverWas]\r\n"));
  ASSERT_EQ(Reg({"import", file}).exit_code, 0);
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\Old"}).out,
            QueryAnswer("HKEY_LOCAL_MACHINE\\Software\\Old",
                        {"    Stays    REG_SZ    y", "    New    REG_DWORD    0x7 (7)"}));
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\Doomed"}).exit_code, 1);

  ASSERT_TRUE(
      platform::WriteWholeFile(file, "REGEDIT4\n[HKLM\\Software\\Fresh]\n\"a\"=\"b\"\n[HKXX\\Bad]\n"));
  ExpectRefused({"import", file}, 1, file + ", line 4: \"HKXX\\Bad\": unknown root key");
  ASSERT_TRUE(platform::WriteWholeFile(file, "REGEDIT4\n[HKLM\\Software\\Fresh]\n\"a\"=dword:zz\n"));
  ExpectRefused({"import", file}, 1, file + ", line 3: expected dword:");
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\Fresh"}).exit_code, 1);
  ExpectRefused({"import", state_.File("missing.reg")}, 1, "cannot read");

  const ToolRun from_input = [&] {
    std::istringstream in("REGEDIT4\n[HKCU\\Piped]\n@=\"p\"\n");
    std::ostringstream out, err;
    ToolStreams io{in, out, err};
    return ToolRun{RunQvanctl({"reg", "import", "-"}, io), out.str(), err.str()};
  }();
  EXPECT_EQ(from_input.exit_code, 0) << from_input.err;
  EXPECT_EQ(Reg({"query", "HKCU\\Piped", "/ve"}).out,
            "\nHKEY_CURRENT_USER\\Piped\n    (Default)    REG_SZ    p\n\n");
}

// The registry refuses a change half-way (a value name longer than it takes): everything the file
// changed before is undone, deletions included.
TEST_F(RegCommandTest, AnImportThatTheRegistryRefusesHalfWayLeavesNothing) {
  QV_SKIP_REST_UNDER_WINE("the registry's transactions (Wine makes each change on its own)");
  Reg({"add", "HKLM\\Software\\Doomed\\Child", "/v", "Kept", "/d", "k"});
  Reg({"add", "HKLM\\Software\\Old", "/v", "Kept", "/d", "old"});
  const std::string before = Reg({"query", "HKLM\\Software", "/s"}).out;
  std::string text = "REGEDIT4\n[-HKLM\\Software\\Doomed]\n[HKLM\\Software\\Old]\n\"Kept\"=\"new\"\n";
  for (int i = 0; i < 100; ++i)
    text += "[HKLM\\Software\\New\\K" + std::to_string(i) + "]\n\"v\"=dword:00000001\n";
  text += "[HKLM\\Software\\Last]\n\"" + std::string(20000, 'n') + "\"=\"x\"\n";
  const std::string file = state_.File("refused.reg");
  ASSERT_TRUE(platform::WriteWholeFile(file, text));
  const ToolRun run = Reg({"import", file});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("HKEY_LOCAL_MACHINE\\Software\\Last nnnn"), std::string::npos) << run.err;
  EXPECT_EQ(Reg({"query", "HKLM\\Software", "/s"}).out, before);
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\New"}).exit_code, 1);
}

TEST_F(RegCommandTest, NamesTheHiveWhenItCannotBeUsed) {
  QV_SKIP_REST_ON_WINDOWS("the registry's hive file (Windows keeps its own registry)");
  Reg({"add", "HKLM\\Software\\Kept", "/v", "A", "/d", "a"});
  ASSERT_TRUE(platform::SetFileAttributes(state_.File("registry.db"), platform::FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\Kept", "/v", "A"}).exit_code, 0);
  ExpectRefused({"add", "HKLM\\Software\\Kept", "/v", "A", "/d", "b", "/f"}, 1,
                "the registry hive \"" + state_.File("registry.db") + "\" is write-protected");
  ExpectRefused({"delete", "HKLM\\Software\\Kept", "/f"}, 1, "is write-protected");
  ASSERT_TRUE(platform::WriteWholeFile(state_.File("in.reg"), "REGEDIT4\n[HKLM\\Software\\New]\n"));
  ExpectRefused({"import", state_.File("in.reg")}, 1, "is write-protected");
  ASSERT_TRUE(platform::SetFileAttributes(state_.File("registry.db"), platform::FILE_ATTRIBUTE_NORMAL));

  qv::testing::TestStateDir broken;
  ASSERT_TRUE(platform::WriteWholeFile(broken.File("registry.db"), std::string(4096, '\x17')));
  ExpectRefused({"query", "HKLM"}, 1,
                "Registry hive \"" + broken.File("registry.db") + "\": file is not a database");
}

}  // namespace
}  // namespace qv::tools
