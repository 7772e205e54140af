#include "store/program_ini.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/temp_folder.h"

namespace ds {
namespace {

// The reader's and the leading-digits rules (case, CR LF, repeats): their own tests.
TEST(ProgramIniTest, KeysAndTheirEdgeCases) {
  struct Case {
    const char* text;  // nullptr: no ini file
    int loadingTime, peCycleLimit;
    std::string eula, maker = kDefaultMakerAddress;
  };
  // clang-format off
  const Case cases[] = {
      {nullptr, 1, 3000, ""},
      {"Loading_Time=5\nPE_Cycle_Limit=1500\nEnd_User_License_Agreement=data\\EULA.txt\n", 5, 1500, "data\\EULA.txt"},
      {"Loading_Time=0\nMaker_Web_Site=https://norvik.test/ssd\n", 0, 3000, "", "https://norvik.test/ssd"},
      {"Loading_Time=abc\n", 0, 3000, ""},                     // letters only: 0
      {"Loading_Time=\nPE_Cycle_Limit=\n", 1, 3000, ""},       // empty keeps the default
      {"Loading_Time=-3\n", -3, 3000, ""},
      {"PE_Cycle_Limit=99999999999999\n", 1, 2147483647, ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    TempFolder home;
    if (c.text)
      std::ofstream(home.path() + kProgramIniFile) << c.text;
    const ProgramIni ini = ReadProgramIni(home.path());
    EXPECT_EQ(std::make_tuple(ini.loadingTime, ini.peCycleLimit, ini.eulaFile, ini.makerAddress),
              std::make_tuple(c.loadingTime, c.peCycleLimit, c.eula, c.maker))
        << (c.text ? c.text : "(none)");
  }
}

}  // namespace
}  // namespace ds
