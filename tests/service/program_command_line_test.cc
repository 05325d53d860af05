// The service program's command line: what each spelling asks for, and what is a mistake.
#include "service/program_command_line.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(ProgramCommandLine, ReadsTheSwitchesInEitherSpellingAndAnyCase) {
  EXPECT_EQ(ReadProgramCommandLine({}), ProgramAction::kRunService);
  EXPECT_EQ(ReadProgramCommandLine({"/install"}), ProgramAction::kInstall);
  EXPECT_EQ(ReadProgramCommandLine({"-INSTALL", "/Silent"}), ProgramAction::kInstall);
  EXPECT_EQ(ReadProgramCommandLine({"/UNINSTALL", "/INSTALL"}), ProgramAction::kInstall);
  EXPECT_EQ(ReadProgramCommandLine({"-uninstall"}), ProgramAction::kUninstall);
  EXPECT_EQ(ReadProgramCommandLine({"--check"}), ProgramAction::kCheck);
  EXPECT_EQ(ReadProgramCommandLine({"/CHECK"}), ProgramAction::kCheck);
  EXPECT_EQ(ReadProgramCommandLine({"--version"}), ProgramAction::kVersion);
  for (const char* help : {"--help", "-h", "/?", "-?", "/HELP", "-help"})
    EXPECT_EQ(ReadProgramCommandLine({help}), ProgramAction::kHelp) << help;
  // Help wins over anything, a mistake included.
  EXPECT_EQ(ReadProgramCommandLine({"/INSTAL", "--help"}), ProgramAction::kHelp);
}

TEST(ProgramCommandLine, TakesTheAccountArgumentsWithInstallInAnyCase) {
  // The installation reads only the exact spelling; others are not mistakes, as before.
  EXPECT_EQ(ReadProgramCommandLine({"/INSTALL", "/ServiceStartName=svc", "/Password=x"}),
            ProgramAction::kInstall);
  EXPECT_EQ(ReadProgramCommandLine({"/INSTALL", "/servicestartname=svc", "/password=x"}),
            ProgramAction::kInstall);
  EXPECT_THROW(ReadProgramCommandLine({"/ServiceStartName=svc"}), ECommandLineError);
  EXPECT_THROW(ReadProgramCommandLine({"/UNINSTALL", "/Password=x"}), ECommandLineError);
}

TEST(ProgramCommandLine, RefusesWhatItDoesNotKnowRatherThanStartTheService) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"/INSTAL"},
                                             {"--verison"},
                                             {"install"},
                                             {"/"},
                                             {"-"},
                                             {"--"},
                                             {"/INSTALL", "extra"},
                                             {"--check", "--version"},
                                             {"/INSTALL", "--check"}}) {
    EXPECT_THROW(ReadProgramCommandLine(arguments), ECommandLineError) << arguments.front();
  }
  try {
    ReadProgramCommandLine({"/SILENT", "/INSTAL"});
    FAIL() << "no error raised";
  } catch (const ECommandLineError& error) {
    EXPECT_EQ(error.Message(), "unknown argument \"/INSTAL\"");
  }
}

}  // namespace
}  // namespace qv
