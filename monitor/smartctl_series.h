#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "monitor/metrics_board.h"

// The series of the common S.M.A.R.T. exporter for Prometheus (smartctl_exporter), under its
// names and label sets, for what the monitor reads of a SATA disk: IDENTIFY, the attributes
// with their thresholds, SMART RETURN STATUS, the Device Statistics and the self-test and
// error logs. Attribute and statistic names are those smartctl prints, from our own tables;
// a label we have nothing for says "unknown", as the exporter does.
namespace ds {

// smartctl's name of attribute `id` from its default table. `rotation` is IDENTIFY word 217:
// 1 a solid-state disk, whose hard-disk-only names become "Unknown_SSD_Attribute"; another
// non-zero rate a rotating disk, whose solid-state-only names become "Unknown_HDD_Attribute".
std::string SmartctlAttributeName(std::uint8_t id, std::uint16_t rotation);

// smartctl's six-letter flag text ("PO--CK") and the exporter's long form
// ("prefailure,updated_online,event_count,auto_keep") of an attribute's flags.
std::string SmartctlAttributeFlagsShort(std::uint64_t flags);
std::string SmartctlAttributeFlagsLong(std::uint64_t flags);

// Appends the smartctl_* families over `drives` to `out`.
void AppendSmartctlSeries(const std::vector<DriveMetrics>& drives, std::string* out);

}  // namespace ds
