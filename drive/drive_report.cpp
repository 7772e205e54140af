#include "drive/drive_report.h"

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <sstream>

#include "drive/drive_enumerator.h"
#include "drive/drive_figures.h"
#include "drive/identify_decoder.h"
#include "drive/model_series.h"
#include "drive/read_drive.h"
#include "drive/selftest.h"
#include "store/description_tables.h"
#include "text/json_text.h"

namespace ds {

namespace {

// Printable form of a text from a disk for the text report: other bytes as \xHH.
std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

const char* ChecksumName(IdentifyChecksum checksum) {
  switch (checksum) {
    case IdentifyChecksum::kValid:
      return "valid";
    case IdentifyChecksum::kBad:
      return "bad";
    case IdentifyChecksum::kAbsent:
      break;
  }
  return "absent";
}

class JsonObject {
 public:
  explicit JsonObject(std::ostream& out, const std::string& indent) : out_(out), indent_(indent) {
    out_ << "{";
  }
  void Raw(const char* key, const std::string& value) {
    out_ << (first_ ? "\n" : ",\n") << indent_ << "  \"" << key << "\": " << value;
    first_ = false;
  }
  void Text(const char* key, const std::string& value) { Raw(key, JsonString(value)); }
  void Number(const char* key, std::uint64_t value) { Raw(key, std::to_string(value)); }
  void Signed(const char* key, std::int64_t value) { Raw(key, std::to_string(value)); }
  void Bool(const char* key, bool value) { Raw(key, value ? "true" : "false"); }
  void Close() { out_ << "\n" << indent_ << "}"; }

 private:
  std::ostream& out_;
  std::string indent_;
  bool first_ = true;
};

template <typename Array>
std::string JsonNumberList(const Array& values) {
  std::string list = "[";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i)
      list += ",";
    list += std::to_string(values[i]);
  }
  return list + "]";
}

// {"powerOnHours": 1234, ..., "problems": [...]} with the shown statistics, or null.
std::string JsonDeviceStatistics(const std::optional<DeviceStatistics>& statistics) {
  if (!statistics)
    return "null";
  std::string json = "{";
  for (const DeviceStatistic& s : statistics->values)
    json += JsonString(DeviceStatisticKey(s.id)) + ": " + std::to_string(s.value) + ", ";
  json += "\"problems\": [";
  for (std::size_t i = 0; i < statistics->problems.size(); ++i)
    json += (i ? ", " : "") + JsonString(statistics->problems[i]);
  return json + "]}";
}

// The error log entries a report lists, newest first.
constexpr std::size_t kReportedErrors = 5;

std::string JsonSelfTestLog(const std::optional<SelfTestLog>& log) {
  if (!log)
    return "null";
  std::string json = "{\"revision\": " + std::to_string(log->revision) +
                     ", \"newestDescriptor\": " + std::to_string(log->newestDescriptor) +
                     ", \"extended\": " + (log->extended ? "true" : "false") + ", \"entries\": [";
  for (std::size_t i = 0; i < log->entries.size(); ++i) {
    const SelfTestLogEntry& e = log->entries[i];
    json += std::string(i ? ", " : "") + "{\"descriptor\": " + std::to_string(e.descriptor) +
            ", \"test\": " + std::to_string(e.test) +
            ", \"type\": " + JsonString(SelfTestTypeText(e.test)) +
            ", \"status\": " + std::to_string(e.status) +
            ", \"statusText\": " + JsonString(SelfTestStateText(e.state)) +
            ", \"remainingPercent\": " + std::to_string(e.remainingPercent) +
            ", \"powerOnHours\": " + std::to_string(e.powerOnHours) +
            ", \"failingLba\": " + (e.failingLba ? std::to_string(*e.failingLba) : "null") + "}";
  }
  return json + "]}";
}

std::string JsonErrorLog(const std::optional<ErrorLog>& log) {
  if (!log)
    return "null";
  std::string json = "{\"errorCount\": " + std::to_string(log->errorCount) +
                     ", \"extended\": " + (log->extended ? "true" : "false") + ", \"entries\": [";
  for (std::size_t i = 0; i < log->entries.size() && i < kReportedErrors; ++i) {
    const ErrorLogEntry& e = log->entries[i];
    json += std::string(i ? ", " : "") + "{\"number\": " + std::to_string(e.number) +
            ", \"command\": " + std::to_string(e.command) +
            ", \"error\": " + std::to_string(e.error) +
            ", \"status\": " + std::to_string(e.status) +
            ", \"state\": " + std::to_string(e.state) + ", \"lba\": " + std::to_string(e.lba) +
            ", \"powerOnHours\": " + std::to_string(e.powerOnHours) + "}";
  }
  return json + "]}";
}

void WriteTextLogs(std::ostream& out, const SmartSnapshot& s) {
  char line[160];
  out << "  Self-test status: " << SelfTestStateText(s.selfTestExecution.state);
  if (s.selfTestExecution.running())
    out << " (" << s.selfTestExecution.remainingPercent << " % left)";
  out << "\n  Self-test log:" << (s.selfTestLog ? "\n" : " none\n");
  if (s.selfTestLog) {
    if (s.selfTestLog->entries.empty())
      out << "    no self-tests recorded\n";
    else
      out << "    Num  Test               Status                            Left  Hours  "
             "First failing LBA\n";
    int number = 1;
    for (const SelfTestLogEntry& e : s.selfTestLog->entries) {
      std::snprintf(line, sizeof line, "    #%2d  %-18.18s %-33.33s %3d%%  %5d  %s\n", number++,
                    SelfTestTypeText(e.test).c_str(), SelfTestStateText(e.state).c_str(),
                    e.remainingPercent, e.powerOnHours,
                    e.failingLba ? std::to_string(*e.failingLba).c_str() : "-");
      out << line;
    }
  }
  if (!s.errorLog) {
    out << "  Error log:          none\n";
    return;
  }
  out << "  Error log:          " << s.errorLog->errorCount << " error(s)\n";
  for (std::size_t i = 0; i < s.errorLog->entries.size() && i < kReportedErrors; ++i) {
    const ErrorLogEntry& e = s.errorLog->entries[i];
    std::snprintf(line, sizeof line,
                  "    Error %d at %d hours: command 0x%02X, error 0x%02X, status 0x%02X, "
                  "LBA %" PRIu64 "\n",
                  e.number, e.powerOnHours, unsigned{e.command}, unsigned{e.error},
                  unsigned{e.status}, e.lba);
    out << line;
  }
}

void WriteJsonDrive(std::ostream& out, const DriveReading& d) {
  const DriveRecord& r = d.record;
  const SmartSnapshot& s = d.snapshot;
  JsonObject o(out, "    ");
  o.Number("index", static_cast<std::uint64_t>(d.index));
  o.Signed("driveNumber", r.driveNumber);
  o.Text("model", r.model);
  o.Text("serial", r.serial);
  o.Text("firmware", r.firmware);
  o.Text("mediaType", r.mediaType);
  o.Text("driveLetters", r.driveLetters);
  o.Text("volumeLabels", r.volumeLabels);
  o.Text("fileSystems", r.fileSystems);
  o.Text("usbVendor", r.usbVendor);
  o.Text("usbRevision", r.usbRevision);
  o.Text("usbSpeed", r.usbSpeed);
  o.Number("usbVendorId", r.usbVendorId);
  o.Number("usbProductId", r.usbProductId);
  o.Number("sectorCount", r.sectorCount);
  o.Number("busType", r.busType);
  o.Number("pioMode", r.pioMode);
  o.Number("udmaMode", r.udmaMode);
  o.Number("cylinders", r.cylinders);
  o.Number("heads", r.heads);
  o.Number("sectorsPerTrack", r.sectorsPerTrack);
  o.Number("smartState", r.smartState);
  o.Number("hpaState", r.hpaState);
  o.Number("securitySupported", r.securitySupported);
  o.Number("cfaSupported", r.cfaSupported);
  o.Text("identifyChecksum", ChecksumName(CheckIdentifyChecksum(r.identifyWords)));
  o.Raw("identifyWords", JsonNumberList(r.identifyWords));
  o.Bool("makersDisk", IsMakersDisk(r.model, 0));
  o.Number("smartRead", d.smartRead ? 1u : 0u);
  o.Signed("attributeCount", s.attributeCount);
  std::ostringstream attributes;
  attributes << "[";
  for (std::size_t i = 0; i < s.attributes.size(); ++i) {
    const SmartAttribute& a = s.attributes[i];
    attributes << (i ? ",\n" : "\n") << "        {\"id\": " << unsigned{a.id}
               << ", \"name\": " << JsonString(a.name) << ", \"flags\": " << a.flags
               << ", \"current\": " << a.current << ", \"worst\": " << a.worst
               << ", \"threshold\": " << a.threshold << ", \"raw\": " << a.raw << "}";
  }
  attributes << (s.attributes.empty() ? "]" : "\n      ]");
  o.Raw("attributes", attributes.str());
  o.Raw("thresholdById", JsonNumberList(s.thresholdById));
  o.Number("powerOnHours", s.powerOnHours);
  o.Number("powerCycles", s.powerCycles);
  o.Number("attr167Raw", s.attr167Raw);
  o.Number("reallocatedRaw", s.reallocatedRaw);
  o.Number("attr170Raw", s.attr170Raw);
  o.Number("attr161Raw", s.attr161Raw);
  o.Number("attr163Raw", s.attr163Raw);
  o.Number("attr231Raw", s.attr231Raw);
  o.Signed("temperature", s.temperature);
  o.Signed("peCycleLimit", s.peCycleLimit);
  o.Bool("smartSignature", s.smartSignature);
  o.Bool("isSm2246", s.isSm2246);
  o.Bool("isOtherSm", s.isOtherSm);
  o.Signed("modelSeries", s.modelSeries);
  o.Raw("deviceStatistics", JsonDeviceStatistics(s.deviceStatistics));
  o.Raw("smartStatusPassed",
        s.smartStatusPassed ? (*s.smartStatusPassed ? "true" : "false") : std::string("null"));
  o.Raw("healthPercent", d.healthPercent ? std::to_string(*d.healthPercent) : "null");
  o.Raw("lifespanDays", d.lifespanDays ? std::to_string(*d.lifespanDays) : "null");
  o.Text("alertState", d.alertKind);
  o.Signed("alertMailed", d.alertMailed);
  o.Signed("silentUntil", d.silentUntil);
  // The health of a disk measured by its endurance indicator; null for any other.
  o.Raw("enduranceHealthPercent",
        HealthSourceOf(s) == HealthSource::kEndurance
            ? std::to_string(EnduranceHealth(*EnduranceIndicator(s)).percent)
            : "null");
  // Byte 363: the test running, or how the last one ended (0 also for none run yet).
  o.Raw("selfTestStatus",
        d.smartRead ? "{\"state\": " + std::to_string(s.selfTestExecution.state) + ", \"text\": " +
                          JsonString(SelfTestStateText(s.selfTestExecution.state)) +
                          ", \"remainingPercent\": " +
                          std::to_string(s.selfTestExecution.remainingPercent) + "}"
                    : "null");
  o.Raw("selfTestLog", JsonSelfTestLog(s.selfTestLog));
  o.Raw("errorLog", JsonErrorLog(s.errorLog));
  std::string messages = "[";
  for (std::size_t i = 0; i < d.messages.size(); ++i) {
    messages += (i ? ", " : "") + JsonString(d.messages[i]);
  }
  o.Raw("messages", messages + "]");
  std::string volumes = "[";
  for (std::size_t i = 0; i < d.volumes.size(); ++i) {
    const VolumeFacts& v = d.volumes[i];
    volumes += (i ? ", " : "") + std::string("{\"mountPoint\": ") + JsonString(v.mountPoint) +
               ", \"label\": " + JsonString(v.label) +
               ", \"fileSystem\": " + JsonString(v.fileSystem) +
               ", \"freeBytes\": " + std::to_string(v.freeBytes) +
               ", \"totalBytes\": " + std::to_string(v.totalBytes) + "}";
  }
  o.Raw("volumes", volumes + "]");
  o.Close();
}

std::string YesNo(int value) {
  return value ? "yes" : "no";
}

void WriteTextDrive(std::ostream& out, const DriveReading& d) {
  const DriveRecord& r = d.record;
  const SmartSnapshot& s = d.snapshot;
  char line[160];
  out << "Disk " << d.index << " (physical drive " << r.driveNumber << ")\n";
  out << "  Model:            " << Printable(r.model) << "\n";
  out << "  Serial:           " << Printable(r.serial) << "\n";
  out << "  Firmware:         " << Printable(r.firmware) << "\n";
  out << "  Media type:       " << r.mediaType << "\n";
  out << "  Bus type:         " << unsigned{r.busType}
      << (r.busType == kBusTypeSata  ? " (SATA)"
          : r.busType == kBusTypeAta ? " (ATA)"
          : r.busType == kBusTypeUsb ? " (USB)"
                                     : "")
      << "\n";
  std::snprintf(line, sizeof line, "%" PRIu64 " sectors (%.1f GB)", r.sectorCount,
                static_cast<double>(r.sectorCount) * 512.0 / 1e9);
  out << "  Capacity:         " << line << "\n";
  out << "  Geometry:         " << r.cylinders << "/" << r.heads << "/" << r.sectorsPerTrack
      << " (cylinders/heads/sectors)\n";
  out << "  Volumes:          " << (r.driveLetters.empty() ? "-" : Printable(r.driveLetters));
  if (!r.volumeLabels.empty() || !r.fileSystems.empty()) {
    out << " (labels: " << Printable(r.volumeLabels)
        << "; file systems: " << Printable(r.fileSystems) << ")";
  }
  out << "\n";
  out << "  Modes:            UDMA " << unsigned{r.udmaMode} << ", PIO " << unsigned{r.pioMode}
      << "\n";
  static const char* kSmartStates[] = {"not reported", "supported", "enabled"};
  static const char* kHpaStates[] = {"present, off", "absent", "enabled"};
  out << "  Features:         S.M.A.R.T. " << kSmartStates[r.smartState % 3] << ", HPA "
      << kHpaStates[r.hpaState % 3] << ", security " << YesNo(r.securitySupported) << ", CFA "
      << YesNo(r.cfaSupported) << "\n";
  out << "  IDENTIFY checksum: " << ChecksumName(CheckIdentifyChecksum(r.identifyWords)) << "\n";
  out << "  Maker's disk:     " << (IsMakersDisk(r.model, 0) ? "yes" : "no") << ", series "
      << s.modelSeries;
  if (s.smartSignature)
    out << ", controller signature " << (s.isSm2246 ? "SM2246" : "SM (other)");
  out << "\n";
  out << "  Alert state:      " << d.alertState << "\n";
  if (!d.smartRead) {
    out << "  S.M.A.R.T.:       not read";
    for (const std::string& message : d.messages)
      out << " (" << message << ")";
    out << "\n\n";
    return;
  }
  out << "  Own verdict:      " << SmartVerdictText(s.smartStatusPassed) << "\n";
  out << "  Temperature:      " << s.temperature << " C\n";
  out << "  Power-on hours:   " << s.powerOnHours << "\n";
  out << "  Power cycles:     " << s.powerCycles << "\n";
  out << "  Erase count:      " << s.attr167Raw << " of " << s.peCycleLimit << " cycles\n";
  out << "  Health:           "
      << (d.healthPercent ? std::to_string(*d.healthPercent) + " %" : std::string("---")) << "\n";
  out << "  Lifespan:         "
      << (d.lifespanDays ? std::to_string(*d.lifespanDays) + " days remaining" : std::string("---"))
      << "\n";
  out << "  Reallocated:      " << s.reallocatedRaw << "\n";
  out << "  Device statistics:" << (s.deviceStatistics ? "\n" : " none\n");
  for (const DeviceStatistic& statistic :
       s.deviceStatistics ? s.deviceStatistics->values : std::vector<DeviceStatistic>{}) {
    std::snprintf(line, sizeof line, "    %-38s %s\n", DeviceStatisticName(statistic.id),
                  DeviceStatisticText(statistic).c_str());
    out << line;
  }
  for (const std::string& problem :
       s.deviceStatistics ? s.deviceStatistics->problems : std::vector<std::string>{})
    out << "    (left out: " << problem << ")\n";
  // The health of a disk measured by its endurance indicator (not the maker's erase count).
  if (HealthSourceOf(s) == HealthSource::kEndurance) {
    const std::int64_t used = *EnduranceIndicator(s);
    out << "  Endurance health: " << EnduranceHealth(used).percent << " % (100 - " << used
        << " % used, from the endurance indicator)\n";
  }
  WriteTextLogs(out, s);
  out << "  ID  Name                                          Flags   Value Worst Thres  Raw\n";
  for (const SmartAttribute& a : s.attributes) {
    std::snprintf(line, sizeof line, "  %3u %-45.45s %-7s %5s %5s %5s  %" PRIu64 "\n",
                  unsigned{a.id}, Printable(a.name).c_str(), a.flagsText().c_str(),
                  a.currentText().c_str(), a.worstText().c_str(), a.thresholdText().c_str(), a.raw);
    out << line;
  }
  out << "\n";
}

// The USB disks that cannot be read, as a JSON member or as text lines.
std::string JsonUnreachable(const DriveList& list) {
  std::string items;
  for (const UnreachableUsbDisk& disk : list.unreachableUsbDisks) {
    items += std::string(items.empty() ? "" : ", ") +
             "{\"driveNumber\": " + std::to_string(disk.driveNumber) +
             ", \"name\": " + JsonString(disk.name) + ", \"reason\": " + JsonString(disk.reason) +
             "}";
  }
  return ",\n  \"unreachableUsbDisks\": [" + items + "]";
}

void WriteTextUnreachable(std::ostream& out, const DriveList& list) {
  for (const UnreachableUsbDisk& disk : list.unreachableUsbDisks) {
    out << "USB disk (physical drive " << disk.driveNumber << ", " << Printable(disk.name)
        << "): " << Printable(disk.reason) << "\n";
  }
}

}  // namespace

bool ReadDriveWithTable(DriveService& drives, const DriveRecord& drive,
                        const std::string& installFolder, int startPeCycleLimit,
                        const MessageSink& messages, SmartSnapshot* snapshot) {
  snapshot->peCycleLimit = startPeCycleLimit;
  AttributeTable table;
  if (!LoadAttributeTable(table, installFolder, DetectModelSeries(drive.model)) && messages)
    messages(kNoAttributeDescriptions);
  return drives.Read(drive, table, snapshot, WakeDisk::kYes, messages) == DiskRead::kRead;
}

void WriteReport(std::ostream& out, const DriveList& list,
                 const std::vector<DriveReading>& readings, bool json) {
  if (list.driveCount == 0) {
    const char* text = "no ATA or SATA disk on this machine";
    if (json) {
      out << "{\n  \"enumeratedCount\": " << list.enumeratedCount
          << ",\n  \"driveCount\": 0,\n  \"drives\": []" << JsonUnreachable(list)
          << ",\n  \"message\": " << JsonString(text) << "\n}\n";
    } else {
      out << "Found " << list.enumeratedCount << " disk(s); " << text << ".\n";
      WriteTextUnreachable(out, list);
    }
    return;
  }
  if (json) {
    out << "{\n  \"enumeratedCount\": " << list.enumeratedCount
        << ",\n  \"driveCount\": " << list.driveCount << ",\n  \"drives\": [";
    for (std::size_t i = 0; i < readings.size(); ++i) {
      out << (i ? ",\n    " : "\n    ");
      WriteJsonDrive(out, readings[i]);
    }
    out << "\n  ]" << JsonUnreachable(list) << "\n}\n";
  } else {
    out << "Found " << list.enumeratedCount << " disk(s), " << list.driveCount
        << " on an ATA or SATA bus or behind a USB bridge.\n";
    WriteTextUnreachable(out, list);
    out << "\n";
    for (const DriveReading& reading : readings)
      WriteTextDrive(out, reading);
  }
}

}  // namespace ds
