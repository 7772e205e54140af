#include "store/program_ini.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/temp_folder.h"

namespace ds {
namespace {

TEST(ProgramIniTest, KeysAndTheirEdgeCases) {
  struct Case {
    const char* text;  // nullptr: no ini file
    int loadingTime, peCycleLimit;
    std::string eula, maker = kDefaultMakerAddress;
  };
  // clang-format off
  const Case cases[] = {
      {nullptr, 1, 3000, ""},
      {"", 1, 3000, ""},
      {"Loading_Time=5\nPE_Cycle_Limit=1500\nEnd_User_License_Agreement=data\\EULA.txt\n", 5, 1500, "data\\EULA.txt"},
      {"Loading_Time=0\nMaker_Web_Site=https://norvik.test/ssd\n", 0, 3000, "", "https://norvik.test/ssd"},
      {"Loading_Time=abc\n", 0, 3000, ""},                     // letters only: 0
      {"Loading_Time=5sec\n", 5, 3000, ""},                    // leading digits
      {"Loading_Time=\nPE_Cycle_Limit=\n", 1, 3000, ""},       // empty keeps the default
      {"loading_time=3\r\nPE_CYCLE_LIMIT = 7\r\n", 3, 7, ""},  // case of keys, CR LF
      {"Loading_Time=4\nLoading_Time=9\n", 4, 3000, ""},       // joined by LF: first line counts
      {"[Section]\nLoading_Time=2\n", 2, 3000, ""},
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
