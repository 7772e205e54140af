#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "pages/disk_info_page.h"
#include "pages/smart_page.h"
#include "pages/template_expander.h"
#include "store/description_tables.h"

namespace {

// A program folder under the temporary folder with the delivered templates.
class BenchHome {
 public:
  BenchHome() {
    path_ = (std::filesystem::temp_directory_path() / "ds-bench-pages").string() + "/";
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_ + "data");
    std::filesystem::copy(std::string(DS_SOURCE_DIR) + "/data/template", path_ + "data/template");
    std::filesystem::copy_file(std::string(DS_SOURCE_DIR) + "/data/Identify.dat",
                               path_ + "data/Identify.dat");
  }
  ~BenchHome() { std::filesystem::remove_all(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A 1 MiB template holding 256 different keys, each once per 4 KiB block.
void BM_ExpandTemplate1MiB256Keys(benchmark::State& state) {
  BenchHome home;
  const std::string templatePath = home.path() + "big.tmp";
  ds::PageFields fields;
  for (int k = 0; k < 256; ++k)
    fields.Add("STR_KEY_" + std::to_string(1000 + k), "value" + std::to_string(k));
  std::string text = "<html>";
  for (int block = 0; text.size() < (1u << 20); ++block) {
    text += "STR_KEY_" + std::to_string(1000 + block % 256) + " ";
    text += std::string(4096, 'x') + "\n";
  }
  text += "</html>";
  std::ofstream(templatePath, std::ios::binary) << text;
  std::string message;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ds::ExpandTemplate(templatePath, home.path() + "big.html", fields, &message));
  }
}
BENCHMARK(BM_ExpandTemplate1MiB256Keys)->Unit(benchmark::kMillisecond);

ds::DriveRecord SampleDrive(const char* model, const char* letters, int number) {
  ds::DriveRecord drive;
  drive.model = model;
  drive.serial = "SN0000000001";
  drive.firmware = "FW1.0";
  drive.driveLetters = letters;
  drive.driveNumber = number;
  drive.sectorCount = 250069680;
  drive.identifyWords[76] = 0x050E;
  drive.identifyWords[80] = 0x07F0;
  drive.identifyWords[82] = 0x746B;
  drive.identifyWords[83] = 0x7500;
  drive.identifyWords[169] = 0x0001;
  return drive;
}

// The Disk Information build of a four-drive machine (temperature and space answered at
// once: device I/O is not part of the figure).
void BM_DiskInfoBuild(benchmark::State& state) {
  BenchHome home;
  ds::DiskInfoInput input;
  input.drives = {SampleDrive("QRA X50 128GB", "/", 0),
                  SampleDrive("QRB X52 256GB", "/data, /srv", 1),
                  SampleDrive("QRC X57 CFast", "", 2), SampleDrive("Other SSD", "/home", 3)};
  input.volumeSpace = [](const std::string&, std::uint64_t* freeBytes, std::uint64_t* total) {
    *freeBytes = 100ULL << 30;
    *total = 500ULL << 30;
    return true;
  };
  input.temperature = [](int, int* celsius) {
    *celsius = 38;
    return true;
  };
  std::string message;
  for (auto _ : state)
    benchmark::DoNotOptimize(ds::BuildDiskInfoPage(ds::ProgramRoots(home.path()), input, &message));
}
BENCHMARK(BM_DiskInfoBuild)->Unit(benchmark::kMillisecond);

// The whole S.M.A.R.T. page: three pages and two workbooks for a drive with 24 attributes.
void BM_SmartPageBuild(benchmark::State& state) {
  BenchHome home;
  ds::SmartPageInput input;
  input.driveCount = 1;
  for (int i = 0; i < 24; ++i) {
    ds::SmartAttribute attribute;
    attribute.id = static_cast<std::uint8_t>(160 + i);
    attribute.name = "Attribute " + std::to_string(i);
    attribute.current = attribute.worst = 100;
    attribute.raw = 123456u * static_cast<unsigned>(i);
    input.attributes.push_back(attribute);
  }
  ds::LoadIdentifyTable(input.identify.identifyDesc, home.path());
  input.identify.identifyWords = SampleDrive("QRA X50", "/", 0).identifyWords;
  input.identify.model = "QRA X50 128GB";
  std::string message;
  for (auto _ : state)
    benchmark::DoNotOptimize(ds::BuildSmartPage(ds::ProgramRoots(home.path()), input, &message));
}
BENCHMARK(BM_SmartPageBuild)->Unit(benchmark::kMillisecond);

}  // namespace
