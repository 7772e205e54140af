#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "drive/drive_record.h"
#include "store/description_tables.h"

// The pure steps of a S.M.A.R.T. read: the threshold sector, the controller signature and
// the attribute list with its summaries. ReadDrive runs them over the sectors it reads.
namespace ds {

using SmartSector = std::array<std::uint8_t, 512>;

// Threshold sector: after a 2-byte revision, 12-byte slots of id, threshold and 10 reserved
// bytes. Every slot with a non-zero id sets thresholdById[id]; other entries keep their value.
void ApplyThresholdSector(const SmartSector& sector, std::array<std::uint8_t, 256>* thresholdById);

// "SM" at byte 400 sets smartSignature and forces the series to 0; "SM2246" sets isSm2246,
// any other continuation isOtherSm.
void ApplyControllerSignature(const SmartSector& dataSector, SmartSnapshot* snapshot);

// Lists the attributes of the data sector in description-table order: the first slot of
// each table id whose current or worst value is non-zero, each id at most once. Fills the
// summaries (power-on hours, power cycles, 167, 5, 161, 163, 168 → peCycleLimit, and for
// series other than 0 also 170, 196 and 231) and the temperature from attribute 194.
// Uses snapshot->thresholdById and snapshot->modelSeries; appends to the list.
void ListSmartAttributes(const SmartSector& dataSector, const AttributeTable& table,
                         SmartSnapshot* snapshot);

// The erase-cycle limit that an attribute 168 raw value stands for: the raw itself, or the
// default when it is 0 or does not fit an int.
int PeCycleLimitFromRaw(std::uint64_t raw);

}  // namespace ds
